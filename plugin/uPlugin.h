// The effect: a keyed filter. One input is the key, whose envelope sweeps a
// second-order filter that the other input passes through.
#pragma once

#include "frame/DAudioEffectX.h"
#include "plugin/Relaxed.h"

#include <array>
#include <memory>

constexpr VstInt32 kNumPrograms = 16;
constexpr VstInt32 kNumParams = 120;      // declared to the host
constexpr int kNumProgramValues = 121;    // loaded by a program change, copied to the editor
constexpr int kNumStoredValues = 501;     // size of every fvar array
constexpr int kProgramNameSize = 64;      // bytes, terminating zero included
constexpr VstInt32 kUniqueID = fourCharCode('V', 'm', 'q', 'z');

// Raised when an effect is constructed and after every program load;
// consumed by the editor window's refresh timer. One for the whole library.
extern Relaxed<bool> editorRefreshPending;

class APlugin;

// Creates the effect's editor glue; the effect takes ownership. Defined by
// the editor library.
AEffEditor* createPluginEditor(APlugin* effect);

class APluginProgram {
public:
    APluginProgram();

    Relaxed<float> fvar[kNumStoredValues]; // normalised 0.0 .. 1.0
    char name[kProgramNameSize];
};

class APlugin : public AudioEffectX {
public:
    explicit APlugin(audioMasterCallback audioMaster);
    ~APlugin() override;

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

private:
    std::array<std::unique_ptr<APluginProgram>, kNumPrograms> Programs;
};
