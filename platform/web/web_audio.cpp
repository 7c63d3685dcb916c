// Browser audio: the ring played by a Web Audio ScriptProcessorNode at the
// intro's own rate. Each callback copies the next frames of the looping
// ring into the browser's buffer (so "played" here means handed to the
// browser) and then lets the refill mix the blocks it has passed, as the
// mixing thread does on the desktop. All of it runs on the page's one
// thread, between the intro's frames.
#include <emscripten.h>

#include "platform/platform.h"
#include "platform/web/web.h"
#include "platform/web/web_internal.h"

namespace {

struct WebAudio {
    bool disabled = false;
    bool open = false;
    int (*refill)(void) = nullptr;
    double blocks_mixed = 0;
};

WebAudio audio;

// An AudioContext at `rate` that runs: the page's own (made when the
// viewer answered the question, the gesture browsers want before sound),
// or a new one where the browser lets a page start sound by itself.
EM_ASYNC_JS(int, audio_context_open, (int rate), {
    const page = Module.page;
    try {
        if (page.audioContext && page.audioContext.sampleRate !== rate) {
            page.audioContext.close();
            page.audioContext = null;
        }
        if (!page.audioContext) page.audioContext = new AudioContext({sampleRate: rate});
        const context = page.audioContext;
        if (context.state !== 'running') {
            await Promise.race([context.resume(), new Promise(resolve => setTimeout(resolve, 300))]);
        }
        return context.state === 'running' ? 1 : 0;
    } catch (e) {
        return 0;
    }
});

EM_JS(void, audio_context_play, (const int16_t* ring, uint32_t bytes), {
    const context = Module.page.audioContext;
    const frames = bytes / 4;
    const first = ring >> 1;
    const state = Module.webAudio = {played: 0, node: context.createScriptProcessor(1024, 0, 2)};
    state.node.onaudioprocess = event => {
        const left = event.outputBuffer.getChannelData(0);
        const right = event.outputBuffer.getChannelData(1);
        let at = state.played % frames;
        let sum = 0;
        for (let i = 0; i < left.length; i++) {
            const l = HEAP16[first + 2 * at] / 32768;
            const r = HEAP16[first + 2 * at + 1] / 32768;
            left[i] = l;
            right[i] = r;
            sum += l * l + r * r;
            if (++at === frames) at = 0;
        }
        state.played += left.length;
        Module.page.audioLevel(Math.sqrt(sum / (2 * left.length)), state.played);
        Module['_web_audio_played']();
    };
    state.node.connect(context.destination);
});

EM_JS(double, audio_context_played, (void), { return Module.webAudio ? Module.webAudio.played : 0; });

EM_JS(void, audio_context_stop, (void), {
    if (Module.webAudio) {
        Module.webAudio.node.onaudioprocess = null;
        Module.webAudio.node.disconnect();
        Module.webAudio = null;
    }
});

EM_JS(void, page_audio_blocks, (double blocks), { Module.page.audioBlocks(blocks); });

}  // namespace

// After every audio callback: the blocks the browser has taken are mixed
// again, a lap ahead.
extern "C" EMSCRIPTEN_KEEPALIVE void web_audio_played(void)
{
    if (!audio.refill) return;
    audio.blocks_mixed += audio.refill();
    page_audio_blocks(audio.blocks_mixed);
}

void web_audio_disable(void) { audio.disabled = true; }
void web_set_audio_refill(int (*refill)(void)) { audio.refill = refill; }

bool platform_audio_open(int rate)
{
    if (audio.disabled || rate <= 0) return false;
    audio.open = audio_context_open(rate) != 0;
    return audio.open;
}

void platform_audio_close(void)
{
    audio_context_stop();
    audio.open = false;
}

bool platform_audio_play_loop(const int16_t* frames, uint32_t bytes)
{
    if (!audio.open || !frames || bytes < 4) return false;
    audio_context_stop();
    audio_context_play(frames, bytes);
    return true;
}

// The browser's node keeps reading the ring, as a wave-out device whose
// buffer was unprepared without a reset would.
void platform_audio_release_loop(void) {}

uint64_t platform_audio_position(void) { return static_cast<uint64_t>(audio_context_played()) * 4; }
