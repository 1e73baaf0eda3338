#include "scenes/production_info.h"

#include <cstddef>

int sectionIndexAt(const ProductionInfo& production, float beat) {
    int index = 0;
    for (size_t i = 0; i < production.sections.size(); ++i)
        if (beat >= production.sections[i].startBeat) index = int(i);
    return index;
}
