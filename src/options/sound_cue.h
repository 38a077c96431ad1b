#pragma once

#include <QString>

class Sound;

inline const QString ClickSound = QStringLiteral("Tac.WAV");
inline const QString StartSound = QStringLiteral("Start.WAV");
inline const QString ExitSound = QStringLiteral("Fin.WAV");

// Plays a sound cue unless the sound setting just read is exactly "0".
void playSoundCue(Sound &sound, const QString &soundsOn, const QString &fileName);
