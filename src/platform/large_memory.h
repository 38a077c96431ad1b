#pragma once

#include <QtGlobal>

// Large blocks of memory that are about to be filled: on Linux the system is asked to back them
// with pages of 2 MiB instead of 4 KiB, where it lends them only when asked (Debian's default).
// Every first touch of a page costs a fault, and in a virtual machine a dear one: a block of
// 20 MB takes some 5,000 of them in small pages and ten in large ones.
namespace LargeMemory {

// The whole large pages inside the block; nothing for a block of less than one, or elsewhere.
// Only a hint: the memory works the same whether the system takes it or not.
void adviseLargePages(void *data, qsizetype size);

} // namespace LargeMemory
