// Where the asset archive is looked for. A run from the build's runtime folder finds
// data.mvt in the working folder; an installed program finds it in the installed data
// folder, wherever the working folder is.
#pragma once

#include <string>
#include <vector>

// The places, in this order: data.mvt in the working folder (the bare name, as it is
// opened and logged), beside the program (programFolder/data.mvt), and in the installed
// data folder of the production (programFolder/FESTOONERY_DATAROOT_FROM_BINDIR/PROGRAM/
// data.mvt, "../share/festoonery/data.mvt" for the greeting installed with the usual bin/
// and share/ layout), with "." and ".." folded away. PROGRAM: installedDataName().
std::vector<std::string> datafileCandidates(const std::string& programFolder);

// The name of the installed data folder, share/NAME/: the production's program name,
// set once at start by the program (default "festoonery").
void setInstalledDataName(const std::string& name);
const std::string& installedDataName();

// The first place where something of that name exists (a link is followed); empty when
// none does. What is found there is opened as it is: a damaged archive is not skipped.
std::string findDatafile(const std::vector<std::string>& places);

// "A, B or C", for messages that name every place looked at.
std::string describePlaces(const std::vector<std::string>& places);
