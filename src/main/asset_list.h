// The build's question to a production's program: which files of the engine's common
// tree its archive must hold (scenes/production_assets.h). Asked before anything starts.
#pragma once

// "PROGRAM --list-assets NAME FILE": writes the data/common files the production opens
// into FILE, one path a line, and returns 0; 1 with the reason on standard error when NAME
// (the build's target) is not the table's program name or FILE cannot be written. -1 when
// the arguments ask something else: the program runs as usual.
int answerAssetList(int argc, char** argv);
