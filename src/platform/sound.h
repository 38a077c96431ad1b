#pragma once

#include <QString>

// Sound cues: a WAV file of the program directory played asynchronously and never waited for.
class Sound
{
public:
    virtual ~Sound() = default;

    // fileName is relative to the program directory, e.g. "Tac.WAV". A missing file, or a machine
    // without audio, is silence, not an error.
    virtual void play(const QString &fileName) = 0;
};
