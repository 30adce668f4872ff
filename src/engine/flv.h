#pragma once
// The pieces of the FLV files the live remux writes: the file header with its onMetaData tag, the
// codec header (the AVC and AAC sequence header tags), and the heads of the video and audio tags.
// Every number is big-endian. Nothing here touches a file; the remux (transformat.h) writes the bytes.
//
// File layout:
//   "FLV" 01 05 00000009, previous tag size 0,
//   the script tag "onMetaData" (ECMA array announcing 15 entries, holding width, height, duration 0,
//   creator "ombri", id, accelero) and its previous tag size,
//   the codec header,
//   one tag per H.264 NAL unit and per raw AAC frame, each followed by its previous tag size.
#include <cstddef>
#include <cstdint>
#include <string>

// The fixed AAC sequence header tag with its previous tag size: AAC LC, 44100 Hz, mono.
constexpr unsigned char kFlvAacSequenceTag[19] = {0x08, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                  0x00, 0xAF, 0x00, 0x12, 0x08, 0x00, 0x00, 0x00, 0x0F};
// The codec header is the avcC box's size plus this.
constexpr size_t kFlvCodecHeaderExtra = 31;

constexpr size_t kFlvVideoHeadSize = 16;  // tag header, frame type, packet type, composition time
constexpr size_t kFlvAudioHeadSize = 13;  // tag header, sound format, packet type

constexpr uint32_t kFlvFirstAudioTimestamp = 0;
constexpr int kFlvFirstFrameDuration = 40;  // ms per video frame until audio says otherwise
constexpr int kFlvMinFrameDuration = 30;
constexpr int kFlvMaxFrameDuration = 60;

void flv_putbe16(unsigned char* p, uint32_t value);
void flv_putbe24(unsigned char* p, uint32_t value);
void flv_putbe32(unsigned char* p, uint32_t value);
uint32_t flv_getbe32(const unsigned char* p);
// The IEEE 754 double, 8 bytes big-endian.
void flv_putdouble(unsigned char* p, double value);

// The FLV header, the first previous tag size and the onMetaData tag with its previous tag size.
// `id` is the job's guid (written as an AMF string, at most 65535 bytes of it), `accelero` the
// device orientation 0..3. Duration is 0; the live job patches it when the recording ends.
std::string flv_makeheader(int width, int height, const std::string& id, int accelero);

// The codec header from an "avcC" box (`box` points at its 4-byte size, `boxsize` bytes in all, at
// least 8): the AVC sequence header tag (0x17 0 0 0 0 and the box's payload) with its previous tag
// size, then kFlvAacSequenceTag.
std::string flv_makecodecheader(const unsigned char* box, size_t boxsize);

// The head of the video tag of one NAL unit of `nallength` bytes (without its 4-byte length prefix,
// which follows the head together with the unit): data size nallength + 9, the timestamp, 0x17 when
// the low four bits of the NAL header byte are 5 (a key frame) else 0x27, AVC packet type 1,
// composition time 0. Its previous tag size is nallength + 20.
void flv_videotaghead(unsigned char head[kFlvVideoHeadSize], uint32_t nallength, uint32_t timestamp,
                      unsigned char nalheader);
// The head of the audio tag of one raw AAC frame of `framelength` bytes: data size framelength + 2,
// the timestamp, 0xAF, AAC packet type 1. Its previous tag size is framelength + 13.
void flv_audiotaghead(unsigned char head[kFlvAudioHeadSize], uint32_t framelength, uint32_t timestamp);

// The audio timestamp after one frame of 1024 samples at 44100 Hz (23.22 ms) in whole milliseconds:
// 0, 23, 46, 69, 93, 116, ...
uint32_t flv_nextaudiotimestamp(uint32_t timestamp);
// The video frame duration after an audio frame: 2 ms shorter while video runs ahead of audio, 2 ms
// longer while it lags behind, kept within 30 and 60 ms.
int flv_adjustframeduration(int duration, uint32_t videotimestamp, uint32_t audiotimestamp);

// Whether the NAL header byte is one of those the camera writes in its video samples.
bool flv_isvideonalheader(unsigned char nalheader);
