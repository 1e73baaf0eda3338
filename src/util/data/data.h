// The data layer: every asset is opened by name through dataOpen(), from the disk or
// from the entries of the archive (data.mvt) that readDatafile() loaded.
#pragma once

#include <cstdint>
#include <cstdio>

enum DataMode : int { Disk = 0, Archive = 1, Record = 2 };

struct DataEntry {
    char* name;      // path exactly as passed to dataOpen or stored in the archive
    int32_t length;  // bytes in data
    unsigned char* data;
};

// The process-wide mode; starts as Disk.
DataMode dataMode();
void setDataMode(DataMode mode);

// Start-up's choice: Archive, unless FESTOONERY_DATA is "disk" or "record" (Disk or
// Record: assets come from the loose tree, and Record packs what loading opened into a
// new data.mvt). Any other non-empty value logs a line and takes Archive.
void selectStartupDataMode();

// Opens an asset. Archive: a fresh binary read/write tmpfile holding the entry's
// bytes (mode ignored), null when the name is not stored. Disk/Record: fopen(path, mode);
// Record also keeps a copy of the bytes the first time a name is opened.
FILE* dataOpen(const char* path, const char* mode);

// The entry list (archive order after reading, first-open order while recording).
// Appended entries belong to the list: the entry, its name and its data are malloc'd.
void dataAppendEntry(DataEntry* entry);
int dataEntryCount();
DataEntry* dataEntry(int index);
// Empties the list and frees its entries (tests and tools; the engine itself never
// removes entries).
void dataClearEntries();

// The archive file's name.
constexpr const char* kDatafileName = "data.mvt";

// Reads data.mvt into the entry list (Archive mode only; the first of the places in
// datafile_path.h that has one: the working folder, beside the program, the installed
// data folder) and writes the entry list into data.mvt in the working folder (Record
// mode only). Every failure is fatal.
void readDatafile();
void writeDatafile();

// The same for any archive path, whatever the mode (the archive tool). The writer
// replaces the archive as a whole (util/util/atomic_file.h): a failed write leaves an
// existing archive untouched, and a link, the permissions and the owner stay.
void readArchiveFile(const char* path);
void writeArchiveFile(const char* path);
