// Storage and defaults of the option values.
#include "game/shell/options.h"

int cpuLevel = 2;
bool fullScreenMode = false;
bool randomSpecialPieces = true;
bool skillCutInOff = false;
int optionVolume = 100;
double masterVolume = 1.0;

int masterVolumeLevel() { return static_cast<int>(255 * masterVolume); }

void resetOptionValues() {
    cpuLevel = 2;
    fullScreenMode = false;
    randomSpecialPieces = true;
    skillCutInOff = false;
    optionVolume = 100;
    masterVolume = 1.0;
}
