#pragma once

#include <QString>

class Sound;

inline const QString ClickSound = QStringLiteral("Tac.WAV");
inline const QString StartSound = QStringLiteral("Start.WAV");
inline const QString ExitSound = QStringLiteral("Fin.WAV");

// Plays a sound cue unless the sound setting just read is exactly "0".
void playSoundCue(Sound &sound, const QString &soundsOn, const QString &fileName);

// The click of a button of the secondary windows: the sound setting read from the options file
// in the program directory now, as the user may just have changed it.
void playClickSound(Sound &sound, const QString &programDirectory);
