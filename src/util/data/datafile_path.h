// Where the asset archive is looked for. A run from the build's runtime folder finds
// data.mvt in the working folder; an installed program finds it in the installed data
// folder, wherever the working folder is.
#pragma once

#include <string>
#include <vector>

// The places, in this order: data.mvt in the working folder (the bare name, as it is
// opened and logged), beside the program (programFolder/data.mvt), and in the installed
// data folder (programFolder/FESTOONERY_DATADIR_FROM_BINDIR/data.mvt, "../share/festoonery"
// for an install with the usual bin/ and share/ layout), with "." and ".." folded away.
std::vector<std::string> datafileCandidates(const std::string& programFolder);

// The first place where something of that name exists (a link is followed); empty when
// none does. What is found there is opened as it is: a damaged archive is not skipped.
std::string findDatafile(const std::vector<std::string>& places);

// "A, B or C", for messages that name every place looked at.
std::string describePlaces(const std::vector<std::string>& places);
