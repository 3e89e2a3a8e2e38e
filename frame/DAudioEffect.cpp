#include "DAudioEffect.h"
#include "DFloatingPoint.h"

#include <cmath>

namespace {

// The five entry functions of the record. Each finds its object through
// `object` and passes the remaining arguments through unchanged, with every
// floating-point exception masked while it runs (FloatingPointScope),
// whatever the host has unmasked. On the audio path that costs one read of
// the control register a block; testing every value quietly instead would
// change the signal path's tuned code, for more.
VstIntPtr VSTCALLBACK dispatchEntry(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                    void* ptr, float opt) {
    FloatingPointScope fp;
    AudioEffect* fx = AudioEffect::fromAeffect(e);
    VstIntPtr result = fx->dispatcher(opcode, index, value, ptr, opt);
    if (opcode == effClose) {
        // The record dies with the object; the host must not touch it again.
        delete fx;
        return 1;
    }
    return result;
}

void VSTCALLBACK processEntry(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
    FloatingPointScope fp;
    AudioEffect::fromAeffect(e)->process(inputs, outputs, frames);
}

void VSTCALLBACK processReplacingEntry(AEffect* e, float** inputs, float** outputs,
                                       VstInt32 frames) {
    FloatingPointScope fp;
    AudioEffect::fromAeffect(e)->processReplacing(inputs, outputs, frames);
}

void VSTCALLBACK setParameterEntry(AEffect* e, VstInt32 index, float value) {
    FloatingPointScope fp;
    AudioEffect::fromAeffect(e)->setParameter(index, value);
}

float VSTCALLBACK getParameterEntry(AEffect* e, VstInt32 index) {
    FloatingPointScope fp;
    return AudioEffect::fromAeffect(e)->getParameter(index);
}

} // namespace

VstInt32 AEffEditor::getRect(ERect** rect) { return 0; }

VstInt32 AEffEditor::open(void* ptr) {
    systemWindow = ptr;
    return 0;
}

void AEffEditor::idle() {
    if (updateFlag) {
        updateFlag = 0;
        update();
    }
}

VstInt32 AEffEditor::onKeyDown(VstKeyCode& key) { return -1; }
VstInt32 AEffEditor::onKeyUp(VstKeyCode& key) { return -1; }
VstInt32 AEffEditor::setKnobMode(VstInt32 mode) { return 0; }
bool AEffEditor::onWheel(float distance) { return false; }

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : numPrograms(numPrograms), numParams(numParams), audioMaster(audioMaster) {
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEntry;
    cEffect.process = processEntry;
    cEffect.setParameter = setParameterEntry;
    cEffect.getParameter = getParameterEntry;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = 0;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.user = nullptr;
    cEffect.uniqueID = kDefaultUniqueID;
    cEffect.version = 1;
    cEffect.processReplacing = processReplacingEntry;
}

AudioEffect::~AudioEffect() = default;

void AudioEffect::setEditor(AEffEditor* newEditor) {
    // Attaching the editor already held must not destroy it.
    if (newEditor != editor.get()) editor.reset(newEditor);
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

void AudioEffect::setFlag(VstInt32 bit, bool state) {
    if (state)
        cEffect.flags |= bit;
    else
        cEffect.flags &= ~bit;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt, VstIntPtr fallback) {
    if (!audioMaster) return fallback;
    return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
    VstInt32 version = static_cast<VstInt32>(callHost(audioMasterVersion, 0, 0, nullptr, 0, 1));
    return version == 0 ? 1 : version;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

bool AudioEffect::isInputConnected(VstInt32 input) {
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

VstInt32 roundToInteger(double x) {
    if (!(x == x)) return 0;
    const double r = std::nearbyint(x);
    if (r >= 2147483647.0) return 2147483647;
    if (r <= -2147483648.0) return -2147483647 - 1;
    return static_cast<VstInt32>(r);
}

namespace {

// The opcodes that read or write through `ptr`, with what each answers when
// the host passes none: the operation's own neutral default.
struct PointerOpcode {
    VstInt32 opcode;
    VstIntPtr answerWithoutPointer;
};
constexpr PointerOpcode kPointerOpcodes[] = {
    {effSetProgramName, 0},
    {effGetProgramName, 0},
    {effGetParamLabel, 0},
    {effGetParamDisplay, 0},
    {effGetParamName, 0},
    {effEditGetRect, 0},
    {effGetChunk, 0},
    {effSetChunk, 0},
    {effProcessEvents, 0},
    {effString2Parameter, 0},
    {effGetProgramNameIndexed, 0},
    {effGetInputProperties, 0},
    {effGetOutputProperties, 0},
    {effOfflineNotify, 0},
    {effOfflinePrepare, 0},
    {effOfflineRun, 0},
    {effProcessVarIo, 0},
    {effSetSpeakerArrangement, 0},
    {effGetEffectName, 0},
    {effGetErrorText, 0},
    {effGetVendorString, 0},
    {effGetProductString, 0},
    {effCanDo, 0},
    {effGetParameterProperties, 0},
    {effGetMidiProgramName, 0},
    {effGetCurrentMidiProgram, -1},
    {effGetMidiProgramCategory, 0},
    {effGetMidiKeyName, 0},
};

const PointerOpcode* pointerOpcode(VstInt32 opcode) {
    for (const auto& p : kPointerOpcodes)
        if (p.opcode == opcode) return &p;
    return nullptr;
}

} // namespace

bool opcodeNeedsPointer(VstInt32 opcode) { return pointerOpcode(opcode) != nullptr; }

std::optional<VstIntPtr> answerForMissingPointer(VstInt32 opcode, const void* ptr) {
    if (ptr) return std::nullopt;
    const PointerOpcode* p = pointerOpcode(opcode);
    if (!p) return std::nullopt;
    return p->answerWithoutPointer;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    // A host that passes no buffer gets the neutral answer rather than a crash.
    if (const auto neutral = answerForMissingPointer(opcode, ptr)) return *neutral;

    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        return 0;
    case effSetProgram:
        // Signed, as the interface compares; a negative number reaches
        // setProgram, which refuses it.
        if (fitsInt32(value) && value < numPrograms) setProgram(static_cast<VstInt32>(value));
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        setProgramName(static_cast<char*>(ptr));
        return 0;
    case effGetProgramName:
        getProgramName(static_cast<char*>(ptr));
        return 0;
    case effGetParamLabel:
        getParameterLabel(index, static_cast<char*>(ptr));
        return 0;
    case effGetParamDisplay:
        getParameterDisplay(index, static_cast<char*>(ptr));
        return 0;
    case effGetParamName:
        getParameterName(index, static_cast<char*>(ptr));
        return 0;
    case effGetVu:
        return roundToInteger(static_cast<double>(getVu()) * 32767.0);
    case effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        if (fitsInt32(value)) setBlockSize(static_cast<VstInt32>(value));
        return 0;
    case effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case effEditGetRect:
        return editor ? editor->getRect(static_cast<ERect**>(ptr)) : 0;
    case effEditOpen:
        return editor ? editor->open(ptr) : 0;
    case effEditClose:
        if (editor) editor->close();
        return 0;
    case effEditIdle:
        if (editor) editor->idle();
        return 0;
    case effIdentify:
        return kIdentifyAnswer;
    case effGetChunk:
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        if (!fitsInt32(value)) return 0;
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:
        // effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep and
        // every opcode the frame does not know.
        return 0;
    }
}
