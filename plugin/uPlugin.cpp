#include "plugin/uPlugin.h"

#include <cstring>

Relaxed<bool> editorRefreshPending{false};

APluginProgram::APluginProgram() {
    std::strcpy(name, "Init");
}

APlugin::APlugin(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    for (auto& p : Programs) p = std::make_unique<APluginProgram>();
    suspend();
    setEditor(createPluginEditor(this));
    hasVu(false);
    setNumInputs(2);
    setNumOutputs(2);
    canMono(true);
    canProcessReplacing(true);
    isSynth(false);
    setUniqueID(kUniqueID);
    editorRefreshPending = true;
}

APlugin::~APlugin() {
    // The editor reads this effect while it goes, so it goes first.
    setEditor(nullptr);
}

void APlugin::setParameter(VstInt32 index, float value) {}
float APlugin::getParameter(VstInt32 index) { return 0.0f; }
void APlugin::process(float** inputs, float** outputs, VstInt32 sampleFrames) {}
void APlugin::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {}
void APlugin::setProgram(VstInt32 program) {}
void APlugin::setProgramName(char* name) {}
void APlugin::getProgramName(char* name) {}
void APlugin::getParameterLabel(VstInt32 index, char* label) {}
void APlugin::getParameterDisplay(VstInt32 index, char* text) {}
void APlugin::getParameterName(VstInt32 index, char* text) {}
float APlugin::getVu() { return 0.0f; }
void APlugin::suspend() {}
void APlugin::resume() {}
VstInt32 APlugin::processEvents(VstEvents* events) { return 1; }
bool APlugin::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) { return false; }
bool APlugin::getOutputProperties(VstInt32 index, VstPinProperties* properties) { return false; }
bool APlugin::getEffectName(char* name) { return false; }
bool APlugin::getVendorString(char* text) { return false; }
bool APlugin::getProductString(char* text) { return false; }
VstInt32 APlugin::getVendorVersion() { return 1; }
VstInt32 APlugin::canDo(char* text) { return -1; }
