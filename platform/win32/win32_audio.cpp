// Win32 backend, the sound: the default wave-out device playing one
// header over the whole ring in an endless loop.
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace {

struct Win32Audio {
    HWAVEOUT device;      // null when closed
    WAVEHDR wave_header;  // over the ring while one is handed over
    bool written;         // the header is in the device's queue
    // waveOutGetPosition counts in 32 bits; this widens it.
    uint32_t last_position;   // bytes, as last reported
    uint64_t position_wraps;  // multiples of 2^32 bytes passed
};

Win32Audio audio;

// Takes the header back from the device, which must no longer play it.
void withdraw_header(void)
{
    if (audio.wave_header.dwFlags & WHDR_PREPARED)
        waveOutUnprepareHeader(audio.device, &audio.wave_header, sizeof(WAVEHDR));
    audio.wave_header = WAVEHDR{};
    audio.written = false;
}

}  // namespace

bool platform_audio_open(int rate)
{
    platform_audio_close();
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;  // one stereo frame
    format.nAvgBytesPerSec = static_cast<DWORD>(rate) * 4;
    MMRESULT result = waveOutOpen(&audio.device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (result != MMSYSERR_NOERROR) {
        audio.device = nullptr;
        return false;
    }
    return true;
}

void platform_audio_close(void)
{
    if (!audio.device) return;
    waveOutReset(audio.device);
    withdraw_header();
    waveOutClose(audio.device);
    audio.device = nullptr;
}

bool platform_audio_play_loop(const int16_t* frames, uint32_t bytes)
{
    if (!audio.device || !frames || bytes < 4) return false;
    // A header still queued belongs to the device: stop it before the
    // header is filled in again (the reset also zeroes the position).
    if (audio.written) {
        waveOutReset(audio.device);
        withdraw_header();
    }
    WAVEHDR* header = &audio.wave_header;
    *header = WAVEHDR{};
    header->lpData = reinterpret_cast<LPSTR>(const_cast<int16_t*>(frames));
    header->dwBufferLength = bytes - bytes % 4;
    header->dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    header->dwLoops = 0xFFFFFFFF;  // for ever
    audio.last_position = 0;
    audio.position_wraps = 0;
    if (waveOutPrepareHeader(audio.device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) return false;
    if (waveOutWrite(audio.device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        withdraw_header();
        return false;
    }
    audio.written = true;
    return true;
}

void platform_audio_release_loop(void)
{
    // The device is not reset: if it still plays the looping header it
    // refuses to unprepare it and goes on reading the ring; the header then
    // stays the device's until play_loop or close resets it.
    if (!audio.device || !(audio.wave_header.dwFlags & WHDR_PREPARED)) return;
    if (waveOutUnprepareHeader(audio.device, &audio.wave_header, sizeof(WAVEHDR)) == MMSYSERR_NOERROR)
        audio.written = false;
}

uint64_t platform_audio_position(void)
{
    if (!audio.device) return 0;
    MMTIME time = {};
    time.wType = TIME_BYTES;
    // On an error the last position stands.
    if (waveOutGetPosition(audio.device, &time, sizeof(MMTIME)) == MMSYSERR_NOERROR) {
        // A device that cannot count bytes answers in frames.
        uint32_t position = time.wType == TIME_SAMPLES ? time.u.sample * 4 : time.u.cb;
        if (time.wType == TIME_BYTES || time.wType == TIME_SAMPLES) {
            if (position < audio.last_position) audio.position_wraps++;
            audio.last_position = position;
        }
    }
    return (audio.position_wraps << 32) | audio.last_position;
}
