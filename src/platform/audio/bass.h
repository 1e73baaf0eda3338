// The audio library interface the music code calls: a small, self-written set of the
// classic BASS 2.4 calls, implemented on libsndfile (decoding from memory) and SDL audio
// (44100 Hz stereo output). Byte positions count decoded 16-bit stereo frames, 4 bytes
// per frame. Besides the device there is an offline clock: nothing plays and the
// position moves only when the program advances it.
#pragma once

#include <cstdint>

typedef uint32_t DWORD;
typedef uint64_t QWORD;
typedef int BOOL;
typedef DWORD HSTREAM;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define BASSVERSION 0x204

#define BASS_SAMPLE_LOOP 4
#define BASS_STREAM_PRESCAN 0x20000
#define BASS_STREAM_AUTOFREE 0x40000
#define BASS_POS_BYTE 0
#define BASS_ATTRIB_VOL 2
#define BASS_DATA_FLOAT 0x40000000
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3

DWORD BASS_GetVersion();
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* clsid);
HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);
DWORD BASS_ChannelFlags(DWORD handle, DWORD flags, DWORD mask);
// Starts or resumes (from the paused position) a stream; restart plays from frame 0.
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
// Stops a playing stream where the listener is now; BASS_ChannelPlay resumes there.
// BASS_ChannelIsActive answers BASS_ACTIVE_PAUSED until then. False when not playing.
BOOL BASS_ChannelPause(DWORD handle);
// Moves the stream to a byte position (BASS_POS_BYTE, rounded down to a frame, at most
// the length). A playing stream goes on from there; the frames the device already holds
// still sound (one device buffer). False for an unknown handle or mode.
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
DWORD BASS_ChannelIsActive(DWORD handle);
QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode);
// length: bytes wanted, BASS_DATA_FLOAT for floats in -1..1 (else 16-bit samples);
// frames from the current position, zeros past the end. Returns the bytes written, or
// all ones for an unknown handle or flag.
DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);
// Stops the stream and frees its decoded frames; the handle becomes unknown.
BOOL BASS_StreamFree(HSTREAM handle);
