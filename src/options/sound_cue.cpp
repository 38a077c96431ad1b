#include "options/sound_cue.h"

#include "platform/sound.h"

void playSoundCue(Sound &sound, const QString &soundsOn, const QString &fileName)
{
    if (soundsOn != u"0")
        sound.play(fileName);
}
