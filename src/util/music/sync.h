// The sync description's parts that need no audio: documents through the data layer,
// one modulator element, one controller template. Music::loadSync (sync.cpp) drives
// them; tests and the fuzz target call them on XML text directly.
#pragma once

#include <string>

class TiXmlDocument;
class TiXmlElement;
class MidiFile;
class Modulator;

// The directory part of path up to and including its last '/'; "" when it has none.
std::string syncDirectory(const char* path);

// Loads an XML document from a stream opened through the data layer with "rb"; a file
// that cannot be opened or parsed ends the process naming the path and the error.
void loadSyncDocument(TiXmlDocument& document, const char* path);

// Whether the document at path can be read and parsed; logs why not. Never fatal
// (a reload in development mode keeps the previous description).
bool syncDocumentParses(const char* path);

// One child element of <modulators>: creates the envelope or oscillator it declares
// and appends it to the first track of midi named by its association (a missing track
// ends the process). bpm converts seconds to beats; controller template names are
// taken relative to prefix.
void parseModulatorElement(TiXmlElement* element, MidiFile& midi, float bpm,
                           const std::string& prefix);

// A loaded controller template document (<unit><template><range>...): appends one
// entry per range to the modulator's three range arrays.
void parseTemplateDocument(TiXmlDocument& document, Modulator& modulator);
