#include "plugin/uPlugin.h"

#include "plugin/params/DecimalSeparator.h"
#include "plugin/params/Readout.h"

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <cstring>
#include <string_view>

Relaxed<bool> editorRefreshPending{false};

namespace {

constexpr const char* kCapabilities[] = {"receiveVstEvents", "receiveVstMidiEvent"};

constexpr const char* kEffectName = "Velmora";
constexpr const char* kVendorName = "Pemberly";
constexpr const char* kProductName = "Velmora";
constexpr VstInt32 kVendorVersion = 1;

// The host's scale for the editor, as PreSonus defined the request and other
// hosts send it: effVendorSpecific with these two codes, the factor in opt.
constexpr VstInt32 kScaleRequest = fourCharCode('P', 'r', 'e', 'S');
constexpr VstIntPtr kEditorContentScale = fourCharCode('A', 'e', 'C', 's');

// MIDI status nibbles that make the editor copy the live values again.
constexpr unsigned kMidiControlChange = 0xB0;
constexpr unsigned kMidiPitchBend = 0xE0;
constexpr unsigned kMidiIgnoredController = 126;

// Copies at most size - 1 characters and always terminates.
void copyText(char* dest, std::string_view src, std::size_t size) {
    const std::size_t n = std::min(src.size(), size - 1);
    std::memcpy(dest, src.data(), n);
    dest[n] = '\0';
}

// The same for a zero-terminated text; a host's text is read no further
// than size - 1 characters, terminated or not.
void copyText(char* dest, const char* src, std::size_t size) {
    copyText(dest, std::string_view(src, strnlen(src, size - 1)), size);
}

// A rate the filter design and the follower can use: positive, finite and
// normal. Zero, negative, NaN, infinite and subnormal rates are refused.
bool isUsableRate(float rate) { return rate >= FLT_MIN && rate <= FLT_MAX; }

float clampUnit(float value) {
    if (value > 1.0f) return 1.0f;
    if (!(value >= 0.0f)) return 0.0f;
    return value;
}

} // namespace

APluginProgram::APluginProgram() { copyText(name, "Init", sizeof name); }

APlugin::APlugin(audioMasterCallback audioMaster, EditorFactory makeEditor)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams), separator(userDecimalSeparator()) {
    for (auto& p : Programs) p = std::make_unique<APluginProgram>();
    suspend();
    if (makeEditor) setEditor(makeEditor(*this).release());
    hasVu(false);
    setNumInputs(2);
    setNumOutputs(2);
    canMono(true);
    canProcessReplacing(true);
    isSynth(false);
    setUniqueID(kUniqueID);
    for (int i = 0; i < kNumPrograms; ++i)
        std::snprintf(Programs[i]->name, kProgramNameSize, "Default %d", i + 1);
    editorRefreshPending = true;
    lastUsableRate = 44100.0f;
    storeChanged();
    for (const ParameterInfo& p : kParameters) Programs[0]->fvar[p.index] = p.factoryValue;
    setProgram(0);
    copyText(Programs[0]->name, "Default", kProgramNameSize);
}

APlugin::~APlugin() {
    // The editor reads this effect while it goes, so it goes before the
    // programs; they then go in index order (an array's members would go last
    // to first).
    setEditor(nullptr);
    for (auto& p : Programs) p.reset();
}

void APlugin::noteRate(float rate) {
    if (isUsableRate(rate)) lastUsableRate = rate;
    storeChanged();
}

void APlugin::setSampleRate(float sampleRate) {
    AudioEffectX::setSampleRate(sampleRate);
    noteRate(sampleRate);
}

void APlugin::setBlockSizeAndSampleRate(VstInt32 blockSize, float sampleRate) {
    AudioEffectX::setBlockSizeAndSampleRate(blockSize, sampleRate);
    noteRate(sampleRate);
}

dsp::Controls APlugin::storedControls() const {
    const float frameRate = getSampleRate();
    const float fs = isUsableRate(frameRate) ? frameRate : lastUsableRate.load();
    std::array<float, kNumActiveParams> values;
    for (int i = 0; i < kNumActiveParams; ++i) values[static_cast<std::size_t>(i)] = fvar[i];
    return params::controlsOf(values, fs);
}

const dsp::Controls& APlugin::controls() {
    // Acquire: every store counted by what is read here is seen below. A
    // store that is not yet counted moves the count again, and the next look
    // derives once more.
    const std::uint32_t count = storeCount.load(std::memory_order_acquire);
    if (count != derivedAt) {
        derivedAt = count;
        derived = storedControls();
    }
    return derived;
}

void APlugin::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= kNumStoredValues) return;
    value = clampUnit(value);
    fvar[index] = value;
    Programs[curProgram]->fvar[index] = value;
    storeChanged();
    // The host is asked for the rate on every change, and may set it from
    // within the request; what the frame then holds is what counts.
    updateSampleRate();
    if (AEffEditor* e = getEditor()) e->update();
}

float APlugin::getParameter(VstInt32 index) {
    if (index < 0 || index >= kNumParams) return 0.0f;
    return fvar[index];
}

void APlugin::process(float** inputs, float** outputs, VstInt32 sampleFrames) {}

void APlugin::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (sampleFrames <= 0 || !inputs || !outputs) return;
    if (!inputs[0] || !inputs[1] || !outputs[0] || !outputs[1]) return;
    filter.process(inputs[0], inputs[1], outputs[0], outputs[1], static_cast<int>(sampleFrames),
                   *this);
}

void APlugin::setProgram(VstInt32 program) {
    editorRefreshPending = false;
    if (program < 0 || program >= kNumPrograms) return;
    curProgram = program;
    const APluginProgram& p = *Programs[program];
    for (int i = 0; i < kNumProgramValues; ++i) setParameter(i, p.fvar[i]);
    editorRefreshPending = true;
    if (!editorClosed && getEditor()) getEditor()->update();
}

void APlugin::setProgramName(char* name) {
    {
        // The host's buffer is the interface's program-name size; hosts fill
        // it with strncpy and may leave it unterminated, so nothing past it
        // is read.
        const std::lock_guard<std::mutex> lock(names);
        copyText(Programs[curProgram]->name, name, kVstMaxProgNameLen);
    }
    if (!editorClosed && getEditor()) getEditor()->update();
}

void APlugin::getProgramName(char* name) {
    const std::lock_guard<std::mutex> lock(names);
    copyText(name, Programs[curProgram]->name, kVstMaxProgNameLen);
}

bool APlugin::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumPrograms) return false;
    const std::lock_guard<std::mutex> lock(names);
    copyText(text, Programs[index]->name, kVstMaxProgNameLen);
    return true;
}

void APlugin::getParameterLabel(VstInt32 index, char* label) { label[0] = '\0'; }

void APlugin::getParameterDisplay(VstInt32 index, char* text) {
    // Hosts show this text in their own controls and automation lanes, often
    // from one reused buffer: something is always written. The parameters
    // that act read as the editor's read-out shows them; the stored-only
    // ones as their plain value.
    if (index < 0 || index >= kNumParams) {
        text[0] = '\0';
        return;
    }
    const float v = fvar[index];
    const std::string shown = readout::shows(index) ? readout::valueText(index, v, separator)
                                                    : readout::plainText(v, separator);
    copyText(text, shown, kVstExtMaxParamStrLen);
}

void APlugin::getParameterName(VstInt32 index, char* text) {
    const ParameterInfo* p = parameterInfo(index);
    if (!p) return;
    // Hosts give 64 bytes or more in practice; the names are far shorter.
    copyText(text, p->hostName, kVstMaxLabelLen);
}

float APlugin::getVu() {
    const float level = vuLevel;
    vuLevel = 0.0f;
    return level;
}

void APlugin::suspend() {}

void APlugin::resume() { wantEvents(1); }

VstInt32 APlugin::processEvents(VstEvents* events) {
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* ev = events->events[i];
        if (!ev || ev->type != kVstMidiType) continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(ev);
        const unsigned status = static_cast<unsigned char>(midi->midiData[0]) & 0xF0u;
        const unsigned controller = static_cast<unsigned char>(midi->midiData[1]);
        const bool refresh =
            (status == kMidiControlChange && controller != kMidiIgnoredController) ||
            status == kMidiPitchBend;
        if (refresh && getEditor()) getEditor()->update();
    }
    return 1;
}

bool APlugin::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index >= 2) return false;
    std::snprintf(properties->label, kVstMaxLabelLen, "Vmqz %d", index + 1);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

bool APlugin::getEffectName(char* name) {
    copyText(name, kEffectName, kVstMaxEffectNameLen);
    return true;
}

bool APlugin::getVendorString(char* text) {
    copyText(text, kVendorName, kVstMaxVendorStrLen);
    return true;
}

bool APlugin::getProductString(char* text) {
    copyText(text, kProductName, kVstMaxProductStrLen);
    return true;
}

VstInt32 APlugin::getVendorVersion() { return kVendorVersion; }

VstIntPtr APlugin::vendorSpecific(VstInt32 lArg, VstIntPtr lArg2, void* ptrArg, float floatArg) {
    if (lArg == kScaleRequest && lArg2 == kEditorContentScale) {
        AEffEditor* e = getEditor();
        return e && e->setScaleFactor(floatArg) ? 1 : 0;
    }
    return AudioEffectX::vendorSpecific(lArg, lArg2, ptrArg, floatArg);
}

VstInt32 APlugin::canDo(char* text) {
    for (const char* c : kCapabilities)
        if (std::string_view(text) == c) return 1;
    return -1;
}
