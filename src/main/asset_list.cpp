#include "main/asset_list.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scenes/production_assets.h"
#include "scenes/production_info.h"
#include "util/data/data.h"

int answerAssetList(int argc, char** argv) {
    if (argc != 4 || strcmp(argv[1], "--list-assets") != 0) return -1;
    const ProductionInfo& production = thisProduction();
    const char* name = argv[2];
    const char* path = argv[3];
    if (strcmp(name, production.program) != 0) {
        fprintf(stderr,
                "%s --list-assets: the production's table names its program '%s', its build '%s'; "
                "give both one name (its installed data folder is share/%s/)\n",
                argv[0], production.program, name, production.program);
        return 1;
    }
    // A build has no display: a box the sync description's reader shows goes to stderr.
    setenv("FESTOONERY_UI", "script", 1);
    setDataMode(Disk);
    const std::string temporary = std::string(path) + ".part";
    FILE* out = fopen(temporary.c_str(), "w");
    if (!out) {
        fprintf(stderr, "%s --list-assets: cannot write %s: %s\n", argv[0], path, strerror(errno));
        return 1;
    }
    for (const std::string& file : productionCommonAssets(production)) fprintf(out, "%s\n", file.c_str());
    if (fclose(out) != 0 || rename(temporary.c_str(), path) != 0) {
        fprintf(stderr, "%s --list-assets: cannot write %s: %s\n", argv[0], path, strerror(errno));
        remove(temporary.c_str());
        return 1;
    }
    return 0;
}
