// Base effect class and base editor class of the VST 2 frame.
//
// AudioEffect embeds the record that the host holds and turns the base
// dispatcher opcodes into virtual calls; AEffEditor is the editor the effect
// owns. Virtual operations are declared in the interface's slot order.
#pragma once

#include "DAEffectX.h"
#include "Relaxed.h"

#include <memory>
#include <optional>

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect) : effect(effect) {}
    virtual ~AEffEditor() = default;
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    // Stores the address of an ERect that outlives the call; 0 when unknown.
    virtual VstInt32 getRect(ERect** rect);
    virtual VstInt32 open(void* ptr);
    virtual void close() {}
    // Runs a posted update once, however many postUpdate calls came before.
    virtual void idle();
    virtual void update() {}
    virtual void postUpdate() { updateFlag = 1; }
    virtual VstInt32 onKeyDown(VstKeyCode& key);
    virtual VstInt32 onKeyUp(VstKeyCode& key);
    virtual VstInt32 setKnobMode(VstInt32 mode);
    virtual bool onWheel(float distance);
    // The scale the host draws its windows at (1.0 at 96 dpi), for this
    // editor's window; whether the editor takes it.
    virtual bool setScaleFactor(float factor) { return false; }

protected:
    AudioEffect* effect; // not owned: the effect owns this editor
    void* systemWindow = nullptr;
    VstInt32 updateFlag = 0;
};

class AudioEffect {
public:
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    virtual void setSampleRate(float sampleRate) { this->sampleRate = sampleRate; }
    virtual void setBlockSize(VstInt32 blockSize) { this->blockSize = blockSize; }
    virtual void setParameter(VstInt32 index, float value) {}
    virtual float getParameter(VstInt32 index) { return 0.0f; }
    // Sets the value locally first, then records it as automation in the host.
    virtual void setParameterAutomated(VstInt32 index, float value);
    virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {}
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);
    virtual void open() {}
    virtual void close() {}
    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual void setProgramName(char* name) {}
    virtual void getProgramName(char* name) {}
    virtual void getParameterLabel(VstInt32 index, char* label) {}
    virtual void getParameterDisplay(VstInt32 index, char* text) {}
    virtual void getParameterName(VstInt32 index, char* text) {}
    virtual float getVu() { return 0.0f; }
    virtual VstInt32 getChunk(void** data, bool isPreset) { return 0; }
    virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) { return 0; }
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
    virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
    virtual void hasVu(bool state) { setFlag(effFlagsHasVu, state); }
    virtual void hasClip(bool state) { setFlag(effFlagsHasClip, state); }
    virtual void canMono(bool state) { setFlag(effFlagsCanMono, state); }
    virtual void canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
    virtual void programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
    virtual void setRealtimeQualities(VstInt32 qualities) { cEffect.realQualities = qualities; }
    virtual void setOfflineQualities(VstInt32 qualities) { cEffect.offQualities = qualities; }
    virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();
    virtual bool isInputConnected(VstInt32 input);
    virtual bool isOutputConnected(VstInt32 output);

    AEffect* getAeffect() { return &cEffect; }
    // Takes ownership; null detaches and destroys the previous editor.
    void setEditor(AEffEditor* editor);
    AEffEditor* getEditor() const { return editor.get(); }
    float getSampleRate() const { return sampleRate; }
    VstInt32 getBlockSize() const { return blockSize; }

    // Finds the object behind a record handed out by getAeffect.
    static AudioEffect* fromAeffect(AEffect* e) { return static_cast<AudioEffect*>(e->object); }

protected:
    void setFlag(VstInt32 bit, bool state);
    // One request to the host with the record as the effect argument;
    // `fallback` is the answer when there is no callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f, VstIntPtr fallback = 0);

    AEffect cEffect{};
    // The host sets these on its dispatcher thread; parameter changes, which
    // may come on another thread, read them (Relaxed: one 32-bit access).
    Relaxed<float> sampleRate{44100.0f}; // Hz
    std::unique_ptr<AEffEditor> editor;
    VstInt32 numPrograms;
    VstInt32 numParams;
    Relaxed<VstInt32> curProgram{0};
    Relaxed<VstInt32> blockSize{1024}; // sample frames
    audioMasterCallback audioMaster;
};

// Whether an opcode reads or writes through its `ptr` argument, so that a
// null `ptr` must not reach the operation.
bool opcodeNeedsPointer(VstInt32 opcode);

// For such an opcode with a null `ptr`: the answer the host gets instead of
// a call (the operation's neutral default). Nothing for every other call.
std::optional<VstIntPtr> answerForMissingPointer(VstInt32 opcode, const void* ptr);

// Whether a pointer-sized `value` carries a 32-bit number. On 64-bit builds
// the upper half must be the sign extension of the lower one; a value such
// as 0xFFFFFFFF00000003 is not the number 3.
constexpr bool fitsInt32(VstIntPtr value) {
    if constexpr (sizeof(VstIntPtr) <= 4) {
        return true;
    } else {
        return value >= -2147483647 - 1 && value <= 2147483647;
    }
}

// x rounded to the nearest integer, ties to even; a value that is not a
// number or lies outside the 32-bit range gives 0 or the nearest bound
// instead of an undefined conversion.
VstInt32 roundToInteger(double x);
