#include "plugin/dsp/KeyedFilter.h"

#include "plugin/dsp/FilterDesign.h"
#include "plugin/dsp/Numeric.h"
#include "plugin/dsp/SoftClip.h"

#include <algorithm>

namespace dsp {

namespace {
// Frames between two steps of a design in progress (each step's chain of
// dependent arithmetic takes about as long as this many frames), and the
// frames a design's four steps take.
constexpr int kStepSpacing = 3;
constexpr int kDesignSpan = 4 * kStepSpacing;
// Frames by which the clipper follows the filter inside a stretch, two at a
// time: clipped at once, each pair would wait on the recursion and crowd the
// processor's queues; clipped all at the stretch's end, a burst of them
// fills its window of instructions in flight while the recursion waits for
// its next frames. Even, so that the pairs start at the stretch's start.
constexpr int kClipLag = 6;
} // namespace

void KeyedFilter::redesign(float weight, BlockRun& run) {
    const Controls& c = run.source.controls();
    const DesignInputs in{c.low, c.high, weight, c.filterQ, c.fs, c.filterType};
    if (!designed || !(in == lastDesign)) {
        PendingDesign& p = run.pending;
        p.type = in.type;
        p.resonance = in.resonance;
        p.rate = in.rate;
        p.exponent = sweepExponent(in.low, in.high, in.weight);
        p.waiting = true;
        lastDesign = in;
        designed = true;
    } else {
        run.next = run.inForce;
    }
    run.settings = EnvelopeFollower::Settings(c.boost, c.attackCoef, c.releaseCoef);
}

// Inline into the recursion loop: a call there would push the recursions'
// state out of the registers, and each value of the chain would pass through
// memory on its way to the next step.
DSP_ALWAYS_INLINE BiquadCoefficients KeyedFilter::finishDesign(PendingDesign& p) {
    cutoffHz = sweepFrequencyOf(p.exponent);
    const DesignArgs args = designArgs(p.type, cutoffHz, p.resonance, p.rate);
    p.waiting = false;
    return designCoefficients(args, designAngles(args));
}

template <bool follow, bool filter>
DSP_ALWAYS_INLINE void KeyedFilter::followAndFilter(BlockRun& run, SectionRun& state, int frames) {
    // Local copies, so that both recursions keep their state in registers
    // while the outputs are stored.
    EnvelopeFollower follower = run.follower;
    SectionRun section = state;
    const float* key = run.key;
    const float* audio = run.audio;
    float* outL = run.outL;
    float* outR = run.outR;
    while (frames > 0) {
        if (filter && run.filtered == run.filterDesignAt) {
            // A design not yet spread over earlier frames is made here at
            // once, straight into the recursion.
            const BiquadCoefficients design =
                run.pending.waiting ? finishDesign(run.pending) : run.next;
            run.inForce = design;
            section.setCoefficients(design);
            run.filterDesignAt += kRedesignInterval;
        }
        // A stretch without a design point for either side: up to the
        // follower's next one included, and up to the filter's excluded.
        int stretch = frames;
        if (follow) stretch = std::min(stretch, run.followerDesignAt - run.followed + 1);
        if (filter) stretch = std::min(stretch, run.filterDesignAt - run.filtered);
        const EnvelopeFollower::Settings settings = run.settings;
        // The filter keeps the oldest history entry only where the block's
        // last frame may fall: the follower has finished by then.
        constexpr bool keepOldest = !follow;
        float filtered[kRedesignInterval];
        auto frame = [&](int k) {
            if (filter) {
                // A non-finite sample is heard as silence, so that one bad
                // value cannot leave the follower or the filter without a
                // number.
                filtered[k] =
                    section.filterStep<keepOldest>(finiteOrSilence(audio[run.filtered + k]));
            }
            if (follow) follower.follow(finiteOrSilence(key[run.followed + k]), settings);
            if (filter && (k & 1) && k >= kClipLag + 1) {
                const int j = k - 1 - kClipLag;
                softClipPairInto(filtered + j, outL + run.filtered + j, outR + run.filtered + j);
            }
        };
        int k = 0;
        if (run.pending.waiting && stretch >= kDesignSpan) {
            // A design started at the stretch's start: its steps spread over
            // the frames that follow, each far enough after the one before
            // for that one's result to be there, so that no step waits long
            // and holds up the frames behind it. The filter alone spreads it
            // too: the design the follower started as it finished the block
            // is needed only at the filter's next design point.
            PendingDesign& p = run.pending;
            for (; k < kStepSpacing; ++k) frame(k);
            cutoffHz = sweepFrequencyOf(p.exponent);
            for (; k < 2 * kStepSpacing; ++k) frame(k);
            const DesignArgs args = designArgs(p.type, cutoffHz, p.resonance, p.rate);
            for (; k < 3 * kStepSpacing; ++k) frame(k);
            const DesignAngles angles = designAngles(args);
            for (; k < kDesignSpan; ++k) frame(k);
            run.next = designCoefficients(args, angles);
            p.waiting = false;
        }
        for (; k < stretch; ++k) frame(k);
        if (filter) {
            // The clipper has no memory: it runs apart from the recursions,
            // kClipLag frames behind the filter, and takes the stretch's
            // last frames here. Every frame's inputs have been read by the
            // time its output is written (the follower is ahead), so the
            // host may pass the same buffers for both.
            const int clipped = stretch > kClipLag + 1 ? ((stretch - kClipLag) & ~1) : 0;
            softClipInto(filtered + clipped, outL + run.filtered + clipped,
                         outR + run.filtered + clipped, stretch - clipped);
        }
        frames -= stretch;
        if (filter) run.filtered += stretch;
        if (follow) {
            run.followed += stretch;
            if (run.followed == run.followerDesignAt + 1) {
                redesign(follower.weight(), run);
                run.followerDesignAt += kRedesignInterval;
            }
        }
    }
    run.follower = follower;
    state = section;
}

void KeyedFilter::process(const float* in0, const float* in1, float* out0, float* out1, int frames,
                          ControlSource& source) {
    if (frames <= 0) return;
    const Controls& c = source.controls();
    // The stereo choice holds for the whole block, so that the key and the
    // audio of every frame come from opposite inputs.
    const bool reversed = c.swapStereo != 0.0f;
    // The first frame that brings the counter to a multiple of 32.
    const int firstDesign =
        static_cast<int>((kRedesignInterval - ((frameCount + 1) & (kRedesignInterval - 1))) &
                         (kRedesignInterval - 1));
    BlockRun run(reversed ? in1 : in0, reversed ? in0 : in1, out0, out1, source, follower,
                 EnvelopeFollower::Settings(c.boost, c.attackCoef, c.releaseCoef), firstDesign,
                 filter.coef);
    SectionRun section(filter, rings);
    // The follower starts alone, runs beside the filter kFollowerLead frames
    // ahead (kShortLead in a short block), and the filter finishes alone.
    // Every frame of the block is read and written once, whatever its length.
    const int lead = std::min(frames, frames < kShortBlock ? kShortLead : kFollowerLead);
    followAndFilter<true, false>(run, section, lead);
    followAndFilter<true, true>(run, section, frames - lead);
    followAndFilter<false, true>(run, section, lead);
    // The rings rotate once per frame; the run kept their newest entries.
    rings.advanceBy(static_cast<std::uint32_t>(frames));
    section.store(filter, rings);
    filter.coef = run.inForce;
    follower = run.follower;
    frameCount += static_cast<std::uint32_t>(frames);
}

} // namespace dsp
