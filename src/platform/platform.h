#pragma once

#include "platform/dialogs.h"
#include "platform/file_attributes.h"
#include "platform/message_boxes.h"
#include "platform/network.h"
#include "platform/shell.h"
#include "platform/sound.h"
#include "platform/system.h"

// Everything the windows need from the desktop, in one place. The program fills it with the Qt
// implementations, the tests with fakes.
struct Platform
{
    MessageBoxes &messages;
    Dialogs &dialogs;
    Sound &sound;
    Shell &shell;
    Network &network;
    FileAttributes &attributes;
    System &system;
};
