// Browser audio: the intro's looping ring played at the intro's own rate
// by an AudioWorklet, or by a ScriptProcessorNode where the browser has no
// worklet.
//
// The worklet is the sound device. It runs on the browser's audio thread
// and cannot read the program's memory (that would take a
// SharedArrayBuffer, which a page from file:// or a plain static server
// does not get), so it keeps a copy of the whole ring and plays that in an
// endless loop, as a wave-out device plays its buffer. Every few
// milliseconds it tells the page how far it has played; the page's thread
// then mixes again the blocks played (the mixing thread's work, without a
// thread) and posts them to the worklet's copy. The copy holds about two
// seconds of music not yet heard, so a page stalled by a slow frame or a
// busy machine does not break the sound.
//
// The ScriptProcessorNode runs on the page's thread: it reads the ring in
// the program's memory itself, a large buffer at a time.
#include <emscripten.h>

#include "platform/platform.h"
#include "platform/web/web.h"
#include "platform/web/web_internal.h"

namespace {

// How long the AudioContext may take to start running. Browsers start a
// context only after the viewer's answer; Firefox's first context took
// 0.7 to 1.2 s to run on an idle machine. A viewer waits a few seconds
// for an intro to start; past that it plays silent, as without a device.
const int AUDIO_START_WAIT_MS = 5000;

struct WebAudio {
    bool disabled = false;
    bool open = false;
    bool worklet = false;  // the device is the worklet, not a ScriptProcessorNode
    WebRefill (*refill)(void) = nullptr;
    double blocks_mixed = 0;
    const int16_t* ring = nullptr;  // the loop buffer the intro mixes into
    uint32_t ring_frames = 0;
    double sent_frames = 0;  // frames of music given to the device since the loop started
};

WebAudio audio;

// The page's JavaScript below is not C++: clang-format would break it.
// clang-format off
// An AudioContext at `rate` that runs, and a way to play on it: the page's
// own context (made when the viewer answered the question, the gesture
// browsers want before sound), or a new one where the browser lets a page
// start sound by itself. 1 with the worklet ready, 2 with only a
// ScriptProcessorNode, 0 without sound.
EM_ASYNC_JS(int, audio_context_open, (int rate, int wait_ms), {
    // The worklet, as source text: its module loads from a data: URL, the
    // one kind every engine accepts from file:// (a Blob URL is refused
    // there by some). It plays its copy of the ring (processorOptions)
    // in a loop and takes the refilled parts as messages {at, samples},
    // `at` counting frames since the loop started, skips ahead on {skip}
    // (frames) to keep in step with the picture, and ends on {stop}: its
    // process() then answers false, which lets the browser drop the node
    // and its copy of the ring (a new run makes a new one).
    function ringPlayer() {
        const REPORT_QUANTA = 4;  // about 23 ms at 22050 Hz
        class BrindlecRing extends AudioWorkletProcessor {
            constructor(options) {
                super();
                this.ring = options.processorOptions.ring;
                this.frames = this.ring.length / 2;
                this.played = 0;           // frames played since the loop started
                this.fresh = this.frames;  // the copy holds the music up to here
                this.late = 0;             // render quanta that replayed music not yet refilled
                this.quanta = 0;
                this.sum = 0;
                this.port.onmessage = event => {
                    if (event.data.stop) {
                        this.stopped = true;
                        return;
                    }
                    if (event.data.skip) {
                        this.played += event.data.skip;
                        return;
                    }
                    const {at, samples} = event.data;
                    let to = (at % this.frames) * 2;
                    for (let i = 0; i < samples.length; i++) {
                        this.ring[to++] = samples[i];
                        if (to === this.ring.length) to = 0;
                    }
                    this.fresh = Math.max(this.fresh, at + samples.length / 2);
                };
            }
            process(inputs, outputs) {
                if (this.stopped) return false;
                const left = outputs[0][0], right = outputs[0][1] || outputs[0][0];
                const ring = this.ring;
                let at = (this.played % this.frames) * 2;
                for (let i = 0; i < left.length; i++) {
                    const l = ring[at] / 32768, r = ring[at + 1] / 32768;
                    left[i] = l;
                    right[i] = r;
                    this.sum += l * l + r * r;
                    at += 2;
                    if (at === ring.length) at = 0;
                }
                if (this.played + left.length > this.fresh) this.late++;
                this.played += left.length;
                if (++this.quanta % REPORT_QUANTA === 0) {
                    const level = Math.sqrt(this.sum / (2 * REPORT_QUANTA * left.length));
                    this.port.postMessage({played: this.played, level, late: this.late});
                    this.sum = 0;
                }
                return true;
            }
        }
        registerProcessor('brindlec-ring', BrindlecRing);
    }

    const page = Module.page;
    try {
        if (page.audioContext && page.audioContext.sampleRate !== rate) {
            page.audioContext.close().catch(() => {});
            page.audioContext = null;
        }
        if (!page.audioContext) page.audioContext = new AudioContext({sampleRate: rate});
        const context = page.audioContext;
        const until = performance.now() + wait_ms;
        if (context.state !== 'running') context.resume().catch(() => {});
        while (context.state !== 'running' && context.state !== 'closed' && performance.now() < until)
            await new Promise(resolve => setTimeout(resolve, 20));
        if (context.state !== 'running') return 0;
        if (context.audioWorklet && typeof AudioWorkletNode === 'function') {
            try {
                const source = '(' + ringPlayer.toString() + ')();';
                await context.audioWorklet.addModule('data:text/javascript,' + encodeURIComponent(source));
                return 1;
            } catch (error) {
                console.warn('Brindlec: no AudioWorklet (' + error + '), playing with a ScriptProcessorNode');
            }
        }
        return typeof context.createScriptProcessor === 'function' ? 2 : 0;
    } catch (error) {
        return 0;
    }
});

// Starts the device on the ring: the worklet with a copy of it, or the
// ScriptProcessorNode reading it in place.
EM_JS(void, audio_context_play, (const int16_t* ring, uint32_t frames, int worklet), {
    const context = Module.page.audioContext;
    const first = ring >> 1;
    const state = Module.webAudio = {played: 0, late: 0, skipped: 0, behindSince: null, node: null,
                                     startedAt: performance.now(), startTime: context.currentTime};
    // The music keeps in step with the picture as a sound card's clock keeps
    // it on the desktop. A browser's audio clock may lose time instead (its
    // device started late, or fell behind on a busy machine: seconds over
    // the intro in headless Chromium). Once the audio clock has been more
    // than 0.3 s behind the page's clock for a second of reports, and has
    // not run faster than the page's clock meanwhile, the music skips ahead
    // by as much. A clock that only stalled and then runs fast to catch up
    // (WebKitGTK's, after its sound starts or its page was held up) is let
    // catch up, and a reading taken late by a stalled page is back within
    // the second. Returns the frames to skip.
    const keepInStep = () => {
        const now = performance.now(), time = context.currentTime;
        const behind = (now - state.startedAt) / 1000 - (time - state.startTime) -
                       state.skipped / context.sampleRate;
        if (behind <= 0.3) {
            state.behindSince = null;
            return 0;
        }
        const since = state.behindSince;
        if (!since || now - since.now >= 1000 && (time - since.time) * 1000 > (now - since.now) * 1.05) {
            state.behindSince = {now, time};  // a second more, to see whether it is still catching up
            return 0;
        }
        if (now - since.now < 1000) return 0;
        state.behindSince = null;
        const skip = Math.round(behind * context.sampleRate);
        state.skipped += skip;
        return skip;
    };
    const heard = (level, played) => {
        state.played = played;
        Module.page.audioLevel(level, played, state.late, state.skipped);
        Module['_web_audio_played']();
    };
    if (worklet) {
        state.node = new AudioWorkletNode(context, 'brindlec-ring', {
            numberOfInputs: 0, outputChannelCount: [2],
            processorOptions: {ring: HEAP16.slice(first, first + 2 * frames)}});
        state.node.port.onmessage = event => {
            state.late = event.data.late;
            heard(event.data.level, event.data.played);
            const skip = keepInStep();
            if (skip) state.node.port.postMessage({skip});
        };
        state.node.onprocessorerror = () =>
            console.error('Brindlec: the sound worklet failed; the music stops');
    } else {
        // 4096 frames (186 ms at 22050 Hz) a callback: the page's thread may
        // stall for 150 ms without the sound breaking.
        state.node = context.createScriptProcessor(4096, 0, 2);
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
            // A callback that comes after its sound was due: the browser
            // played silence meanwhile.
            if (event.playbackTime < context.currentTime) state.late++;
            heard(Math.sqrt(sum / (2 * left.length)), state.played + left.length + keepInStep());
        };
    }
    state.node.connect(context.destination);
    Module.page.audioStarted(worklet ? 'AudioWorklet' : 'ScriptProcessorNode');
});

// Posts `count` frames of the ring, from the frame `at` counts since the
// loop started, to the worklet's copy (the ScriptProcessorNode reads the
// ring itself).
EM_JS(void, audio_context_send, (const int16_t* ring, uint32_t frames, double at, uint32_t count), {
    const state = Module.webAudio;
    if (!state || !state.node.port) return;
    const samples = new Int16Array(2 * count);
    const first = ring >> 1;
    for (let done = 0; done < count;) {
        const from = (at + done) % frames;
        const n = Math.min(count - done, frames - from);
        samples.set(HEAP16.subarray(first + 2 * from, first + 2 * (from + n)), 2 * done);
        done += n;
    }
    state.node.port.postMessage({at, samples}, [samples.buffer]);
});

EM_JS(double, audio_context_played, (void), { return Module.webAudio ? Module.webAudio.played : 0; });

EM_JS(void, audio_context_stop, (void), {
    const state = Module.webAudio;
    if (!state) return;
    if (state.node.port) {
        state.node.port.onmessage = null;
        state.node.port.postMessage({stop: true});
    } else {
        state.node.onaudioprocess = null;
    }
    state.node.disconnect();
    Module.webAudio = null;
});

EM_JS(void, page_audio_blocks, (double blocks), { Module.page.audioBlocks(blocks); });
// clang-format on

}  // namespace

// After every report of the device: the blocks it has played are mixed
// again, a lap ahead, and handed to it.
extern "C" EMSCRIPTEN_KEEPALIVE void web_audio_played(void)
{
    if (!audio.refill || !audio.ring) return;
    WebRefill mixed = audio.refill();
    if (mixed.frames > 0) audio_context_send(audio.ring, audio.ring_frames, audio.sent_frames, mixed.frames);
    audio.sent_frames += mixed.frames;
    audio.blocks_mixed += mixed.blocks;
    page_audio_blocks(audio.blocks_mixed);
}

void web_audio_disable(void) { audio.disabled = true; }
void web_set_audio_refill(WebRefill (*refill)(void)) { audio.refill = refill; }

bool platform_audio_open(int rate)
{
    if (audio.disabled || rate <= 0) return false;
    int kind = audio_context_open(rate, AUDIO_START_WAIT_MS);
    audio.open = kind != 0;
    audio.worklet = kind == 1;
    return audio.open;
}

void platform_audio_close(void)
{
    audio_context_stop();
    audio.ring = nullptr;
    audio.open = false;
}

bool platform_audio_play_loop(const int16_t* frames, uint32_t bytes)
{
    if (!audio.open || !frames || bytes < 4) return false;
    audio_context_stop();
    audio.ring = frames;
    audio.ring_frames = bytes / 4;
    // The whole ring holds music when the loop starts: what is refilled
    // next comes a lap later.
    audio.sent_frames = audio.ring_frames;
    audio_context_play(frames, audio.ring_frames, audio.worklet);
    return true;
}

// The device keeps playing its loop, as a wave-out device whose buffer was
// unprepared without a reset would.
void platform_audio_release_loop(void) {}

uint64_t platform_audio_position(void) { return static_cast<uint64_t>(audio_context_played()) * 4; }
