#include "options/sound_cue.h"

#include "options/options_file.h"
#include "platform/sound.h"

void playSoundCue(Sound &sound, const QString &soundsOn, const QString &fileName)
{
    if (soundsOn != u"0")
        sound.play(fileName);
}

void playClickSound(Sound &sound, const QString &programDirectory)
{
    playSoundCue(sound, ReadOptions(OptionsFile(programDirectory)), ClickSound);
}
