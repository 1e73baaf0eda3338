// Development mode's reloads: runs work so that a fatal error inside it neither shows a
// box nor ends the process. Its text (after the texts of any error boxes shown before
// it, "; "-joined, line feeds as blanks) becomes *reason and the fatal path unwinds to
// here, so work must build into new objects and publish them only at its end. False
// when work ended that way. Error boxes (errorAt) in work are not shown either. The
// demo's own start-up never runs under it: there every fatal error stays fatal.
// (Implemented with the fatal paths, in log.cpp.)
#pragma once

#include <functional>
#include <string>

bool recoverFatal(const std::function<void()>& work, std::string* reason);
