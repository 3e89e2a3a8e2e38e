// The effect as a VST 2 plug-in: the interface's class around the keyed
// filter, with its 120 parameters, 16 programs and what it tells the host.
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
#include "plugin/dsp/KeyedFilter.h"
#include "plugin/params/Parameters.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

constexpr VstInt32 kUniqueID = fourCharCode('V', 'm', 'q', 'z');

class APlugin;

// Makes the editor an effect owns. The plug-in's entry passes the editor
// library's; the engine itself knows no editor, and an effect made without
// one has none.
using EditorFactory = std::unique_ptr<AEffEditor> (*)(APlugin& effect);

class APluginProgram {
public:
    APluginProgram();

    Relaxed<float> fvar[kNumStoredValues]; // normalised 0.0 .. 1.0
    char name[kProgramNameSize];
};

class APlugin : public AudioEffectX, private dsp::ControlSource {
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
    // Takes the host's scale for the editor (index 'PreS', value 'AeCs', the
    // factor in floatArg) and answers 1 when the editor took it.
    VstIntPtr vendorSpecific(VstInt32 lArg, VstIntPtr lArg2, void* ptrArg, float floatArg) override;
    VstInt32 canDo(char* text) override;

    // What the editor reads and keeps, by name. A stored value by index
    // (0 .. 500; the editor copies 0 .. 120).
    float storedValue(int index) const { return fvar[index]; }
    // Kept by the editor glue: false while its window is open.
    void setEditorClosed(bool closed) { editorClosed = closed; }
    bool isEditorClosed() const { return editorClosed; }
    // Whether a program load has asked every editor window to repaint; the
    // request stays until a window's refresh tick takes it, which clears it.
    bool editorRefreshRequested() const { return editorRefreshPending; }
    bool takeEditorRefresh() { return editorRefreshPending.exchange(false); }

    const APluginProgram& program(int i) const { return *Programs[i]; }

    // The control values of the values stored now, as the next block will
    // derive them; for tools and tests.
    dsp::Controls storedControls() const;
    int getFilterType() const { return storedControls().filterType; }
    float getFilterQ() const { return storedControls().filterQ; }
    float getBoost() const { return storedControls().boost; }
    float getAttackCoef() const { return storedControls().attackCoef; }
    float getReleaseCoef() const { return storedControls().releaseCoef; }
    float getSwapStereo() const { return storedControls().swapStereo; }
    float getFs() const { return storedControls().fs; }
    // The keyed filter's signal state, for tools and tests. It is the audio
    // thread's: read it only while no block is being processed.
    const dsp::KeyedFilter& signal() const { return filter; }

private:
    // The keyed filter asks at the start of each block and at each design
    // point: the control values, derived again when a store has happened
    // since they were last derived. Audio thread only.
    const dsp::Controls& controls() override;
    // After a store of a value the control values derive from.
    void storeChanged() { storeCount.fetch_add(1, std::memory_order_release); }
    // A rate from the host: a usable one is kept for when a later one is not.
    void noteRate(float rate);

    // Live parameter values; indices 0..7 act, the rest are stored only.
    Relaxed<float> fvar[kNumStoredValues];
    Relaxed<bool> editorClosed{false};
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
    dsp::Controls derived;       // derived from the stored values ...
    std::uint32_t derivedAt = 0; // ... as they stood at this store count
    dsp::KeyedFilter filter;

    std::array<std::unique_ptr<APluginProgram>, kNumPrograms> Programs;
    Relaxed<float> vuLevel{0.0f};
};
