// The effect: a keyed filter. One input is the key, whose envelope sweeps a
// second-order filter that the other input passes through.
//
// Threads: the host may run processReplacing on its audio thread while
// parameters, programs and the rate change on others, two of them at once;
// automation may also arrive on the audio thread. The other threads only
// store: a parameter value, the rate, a name. Everything the signal path
// derives from the stored values (the control values) is derived on the
// audio thread alone, from the values as they stand when it looks, so no two
// threads ever write the same derived value. Every store that the control
// values depend on is followed by a bump of one change count; the audio
// thread derives again whenever the count has moved since it last derived,
// at the start of each block and at each design point. Once the stores have
// returned, the next block therefore runs on the latest values, whatever the
// interleaving. processReplacing allocates nothing and takes no lock.
#pragma once

#include "frame/DAudioEffectX.h"
#include "frame/Relaxed.h"
#include "plugin/EditorRefresh.h"
#include "plugin/Parameters.h"
#include "plugin/dsp/Envelope.h"
#include "plugin/dsp/FilterSection.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

constexpr VstInt32 kUniqueID = fourCharCode('V', 'm', 'q', 'z');

// Frames between two filter designs; the sweep is redesigned when the frame
// counter's low bits are all zero.
constexpr std::uint32_t kRedesignInterval = 32;

// Frames by which the follower and the sweep's redesign run ahead of the
// filter inside a block. The two are independent chains of dependent
// arithmetic that meet only where a new design takes effect: the processor
// works on both at once, and each design starts this many frames before the
// filter needs it. The stereo choice is read once per block; the follower's
// settings at the block's start and again at each design point, so a change
// from another thread lands within 32 frames, one made between blocks at the
// block's first frame.
constexpr int kFollowerLead = 16;

// Blocks shorter than this run the follower one frame ahead only. A lead
// costs its frames of the follower alone at the block's start and of the
// filter alone at its end; it pays back only over several design points.
constexpr int kShortBlock = 4 * static_cast<int>(kRedesignInterval);

class APlugin;

// Makes the editor an effect owns. The plug-in's entry passes the editor
// library's; the engine itself knows no editor, and an effect made without
// one has none.
using EditorFactory = std::unique_ptr<AEffEditor> (*)(APlugin& effect);

// What the signal path runs on: the acting parameters mapped to the
// quantities the follower, the sweep and the filter design use.
struct ControlValues {
    float low = 0.0f, high = 0.0f; // sweep positions 0 .. 1 at envelope 0 and 1
    int filterType = 0;            // 0 .. 4
    float filterQ = 0.0f;          // 0 .. 0.995
    float boost = 0.0f;            // detector gain 0 .. 3.999
    float attackCoef = 1.0f;       // follower coefficients, 0 < c <= 1
    float releaseCoef = 1.0f;
    float swapStereo = 0.0f; // 0.0 "Normal" (key left), 1.0 "Reversed"
    float fs = 44100.0f;     // Hz, the last usable rate the host set
};

class APluginProgram {
public:
    APluginProgram();

    Relaxed<float> fvar[kNumStoredValues]; // normalised 0.0 .. 1.0
    char name[kProgramNameSize];
};

class APlugin : public AudioEffectX {
public:
    APlugin(audioMasterCallback audioMaster, EditorFactory makeEditor);
    ~APlugin() override;

    // A new rate from the host takes effect at once: fs and every value
    // derived from it follow, as after a parameter change, without asking
    // the host again and without an editor update.
    void setSampleRate(float sampleRate) override;
    void setBlockSizeAndSampleRate(VstInt32 blockSize, float sampleRate) override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void process(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    float getVu() override;
    void suspend() override;
    void resume() override;
    VstInt32 processEvents(VstEvents* events) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 canDo(char* text) override;

    // Live parameter values; indices 0..7 act, the rest are stored only.
    Relaxed<float> fvar[kNumStoredValues];
    // Kept by the editor glue: false while its window is open.
    Relaxed<bool> editorClosed{false};

    const APluginProgram& program(int i) const { return *Programs[i]; }

    // The control values of the values stored now, as the next block will
    // derive them; for tools and tests.
    ControlValues storedControls() const;
    int getFilterType() const { return storedControls().filterType; }
    float getFilterQ() const { return storedControls().filterQ; }
    float getBoost() const { return storedControls().boost; }
    float getAttackCoef() const { return storedControls().attackCoef; }
    float getReleaseCoef() const { return storedControls().releaseCoef; }
    float getSwapStereo() const { return storedControls().swapStereo; }
    float getFs() const { return storedControls().fs; }
    // Read-only views of the signal state, for tools and tests. It is the
    // audio thread's: read it only while no block is being processed.
    float getEnvelope() const { return follower.envelope; }
    float getCutoff() const { return cutoff; }
    std::uint32_t getSampleCount() const { return sampleCount; }
    const dsp::HistoryRing& getRing() const { return ring; }
    const dsp::FilterSection& getSection() const { return section; }

private:
    // A block in progress: the buffers, the follower ahead and the filter
    // behind, each with its position in the block and the frame of its next
    // design point. Design points fall on the frames that bring the frame
    // counter to a multiple of 32, counted since construction.
    struct BlockRun {
        const float* key;
        const float* audio;
        float* outL;
        float* outR;
        dsp::EnvelopeFollower follower;
        dsp::EnvelopeFollower::Settings settings; // as read for the follower's current stretch
        int followed = 0;                         // frames the follower has run
        int followerDesignAt;                     // its next design point
        dsp::SectionRun section;
        dsp::BiquadCoefficients inForce; // the design the filter runs on
        dsp::BiquadCoefficients next;    // made by the follower for the filter's next design point
        int filtered = 0;                // frames the filter has run
        int filterDesignAt;              // its next design point
    };
    // Runs `frames` frames of the follower (when `follow`) and of the filter
    // (when `filter`), each from where it stands; the follower makes the design
    // for every design point it passes, the filter takes it up on arrival.
    template <bool follow, bool filter> void followAndFilter(BlockRun& run, int frames);
    // The redesign for the envelope weight `weight` of a design point: into
    // `next`, and the follower's settings read again for the frames after it.
    void redesign(float weight, BlockRun& run);
    // After a store of a value the control values derive from.
    void storeChanged() { storeCount.fetch_add(1, std::memory_order_release); }
    // A rate from the host: a usable one is kept for when a later one is not.
    void noteRate(float rate);
    // Audio thread: derives the control values again when a store has
    // happened since they were last derived.
    void takeStores();

    // Bumped (release) after every store the control values derive from.
    std::atomic<std::uint32_t> storeCount{1};
    // The last usable rate the host set: what fs is while the frame's rate
    // is one the design cannot use (zero, negative, not finite, subnormal).
    Relaxed<float> lastUsableRate{44100.0f};
    // The programs' names are read and written whole under this lock, so a
    // reader gets the old name or the new one. The audio thread never takes it.
    mutable std::mutex names;
    // The decimal separator of the user's locale, as the editor's read-out
    // uses it; looked up once, when the instance is made.
    const std::string separator;

    // Audio thread only.
    ControlValues controls;            // derived from the stored values ...
    std::uint32_t controlsOfStore = 0; // ... as they stood at this store count
    dsp::EnvelopeFollower follower;
    dsp::HistoryRing ring;
    std::uint32_t sampleCount = 0; // wraps at 2^32; the low bits pace the redesign
    float cutoff = 0.0f;           // Hz, input of the latest design
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
    dsp::FilterSection section;

    std::array<std::unique_ptr<APluginProgram>, kNumPrograms> Programs;
    Relaxed<float> vuLevel{0.0f};
};
