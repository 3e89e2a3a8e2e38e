// The keyed filter: one input's envelope sweeps a second-order filter that
// the other input passes through, then a soft clipper into both outputs.
// It knows no plug-in format: a wrapper owns one, hands it the host's
// buffers and supplies its control values.
#pragma once

#include "plugin/dsp/Controls.h"
#include "plugin/dsp/DesignSteps.h"
#include "plugin/dsp/Envelope.h"
#include "plugin/dsp/FilterSection.h"

#include <cstdint>

namespace dsp {

// Frames between two filter designs; the sweep is redesigned when the frame
// counter's low bits are all zero.
constexpr std::uint32_t kRedesignInterval = 32;

// Frames by which the follower and the sweep's redesign run ahead of the
// filter inside a block. The two are independent chains of dependent
// arithmetic that meet only where a new design takes effect: the processor
// works on both at once, and each design starts this many frames before the
// filter needs it. The stereo choice is read once per block; the follower's
// settings at the block's start and again at each design point.
constexpr int kFollowerLead = 16;

// Blocks shorter than this run the follower only kShortLead frames ahead
// (or the whole block, if shorter still). A lead costs its frames of the
// follower alone at the block's start and of the filter alone at its end;
// a long one pays back only over several design points. A short one lets
// the design at a block's last frame, which the follower reaches that many
// frames before the filter, proceed beside the filter's last frames.
constexpr int kShortBlock = 4 * static_cast<int>(kRedesignInterval);
constexpr int kShortLead = 4;

class KeyedFilter {
public:
    // `frames` frames from the two inputs into the two outputs (equal
    // samples); the key is the first input unless the controls swap them.
    // Every input sample is read before the output of its frame is written,
    // so the host may pass the same buffers for inputs and outputs. frames
    // <= 0 changes nothing. Allocates nothing, takes no lock.
    void process(const float* in0, const float* in1, float* out0, float* out1, int frames,
                 ControlSource& source);

    // The signal state, for tests and tools; read it only between blocks.
    float envelope() const { return follower.envelope; }
    float cutoff() const { return cutoffHz; }
    std::uint32_t sampleCount() const { return frameCount; }
    const HistoryRing& ring() const { return rings; }
    const FilterSection& section() const { return filter; }

private:
    // A redesign that has started and not yet been made. Its chain of
    // dependent arithmetic (the sweep's exponent, the design's tangent, their
    // divisions and roundings) takes longer than a processor's window of
    // instructions in flight: made in one go, it holds the recursions up. So
    // the follower starts it at the design point and, where the stretch after
    // it is long enough, makes it in steps spread over that stretch's frames,
    // each once the one before has had the time to finish; otherwise (in
    // blocks too short for the spread) the filter makes it at once on
    // reaching the design point.
    //
    // Only `waiting` is set until a design starts, which sets the rest: the
    // whole is made afresh for every block, and filling it with zeros would
    // cost a string store at the start of each block, just where the
    // processor could still be finishing the block before.
    struct PendingDesign {
        PendingDesign() {}
        bool waiting = false;
        int type;
        float resonance, rate, exponent;
    };
    // The whole of a waiting design, at once.
    BiquadCoefficients finishDesign(PendingDesign& p);

    // A block in progress: the buffers, the follower ahead and the filter
    // behind, each with its position in the block and the frame of its next
    // design point. Design points fall on the frames that bring the frame
    // counter to a multiple of 32, counted since construction. (The filter's
    // own state runs beside it, in the caller's SectionRun: the run is handed
    // to calls and so lives in memory, where copying the section's doubles in
    // and out would cost a stall at each phase of the block.)
    struct BlockRun {
        BlockRun(const float* key, const float* audio, float* outL, float* outR,
                 ControlSource& source, const EnvelopeFollower& follower,
                 const EnvelopeFollower::Settings& settings, int firstDesign,
                 const BiquadCoefficients& inForce)
            : key(key), audio(audio), outL(outL), outR(outR), source(source), follower(follower),
              settings(settings), followerDesignAt(firstDesign), inForce(inForce), next(inForce),
              filterDesignAt(firstDesign) {}
        const float* key;
        const float* audio;
        float* outL;
        float* outR;
        ControlSource& source;
        EnvelopeFollower follower;
        EnvelopeFollower::Settings settings; // as read for the follower's current stretch
        int followed = 0;                    // frames the follower has run
        int followerDesignAt;                // its next design point
        BiquadCoefficients inForce;          // the design the filter runs on
        BiquadCoefficients next; // made by the follower for the filter's next design point
        int filtered = 0;        // frames the filter has run
        int filterDesignAt;      // its next design point
        PendingDesign pending;   // `next` while it is being made
    };
    // Runs `frames` frames of the follower (when `follow`) and of the filter
    // (when `filter`, on `state`), each from where it stands; the follower
    // makes the design for every design point it passes, the filter takes it
    // up on arrival.
    template <bool follow, bool filter>
    void followAndFilter(BlockRun& run, SectionRun& state, int frames);
    // The redesign for the envelope weight `weight` of a design point:
    // started towards `next` (or `next` kept, when nothing changed), and the
    // follower's settings read again for the frames after it.
    void redesign(float weight, BlockRun& run);

    EnvelopeFollower follower;
    HistoryRing rings;
    std::uint32_t frameCount = 0; // wraps at 2^32; the low bits pace the redesign
    float cutoffHz = 0.0f;        // input of the latest design
    // Everything the latest design was made from. A redesign from the same
    // values would give the same coefficients, so it is skipped: a silent
    // key holds the envelope weight at 0 and a loud one at 1 for long runs.
    struct DesignInputs {
        float low, high, weight, resonance, rate;
        int type;
        bool operator==(const DesignInputs&) const = default;
    };
    DesignInputs lastDesign{};
    bool designed = false; // no design yet: the coefficients are all zero
    FilterSection filter;
};

} // namespace dsp
