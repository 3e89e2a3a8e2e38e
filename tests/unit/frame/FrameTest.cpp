#include "ProbeEffect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>

namespace {

VstIntPtr dispatch(AudioEffect& fx, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f) {
    AEffect* e = fx.getAeffect();
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

TEST(FourCharCode, FirstCharacterInTheMostSignificantByte) {
    EXPECT_EQ(fourCharCode('N', 'v', 'E', 'f'), 0x4E764566);
    EXPECT_EQ(fourCharCode('N', 'o', 'E', 'f'), 0x4E6F4566);
    EXPECT_EQ(fourCharCode('V', 's', 't', 'P'), 0x56737450);
    // Characters above 0x7F are taken unsigned and do not spill into other bytes.
    EXPECT_EQ(static_cast<std::uint32_t>(fourCharCode('\xFF', 0, 0, '\x80')), 0xFF000080u);
}

TEST(AudioEffect, BaseConstructorFillsTheRecord) {
    RecordingHost host;
    ProbeEffect fx(host);
    AEffect* e = fx.getAeffect();
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->numPrograms, 4);
    EXPECT_EQ(e->numParams, 10);
    EXPECT_EQ(e->numInputs, 1);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, 0);
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->resvd2, 0);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->realQualities, 0);
    EXPECT_EQ(e->offQualities, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->object, static_cast<void*>(static_cast<AudioEffect*>(&fx)));
    EXPECT_EQ(e->user, nullptr);
    EXPECT_EQ(e->uniqueID, fourCharCode('N', 'o', 'E', 'f'));
    EXPECT_EQ(e->version, 1);
    for (char c : e->future) EXPECT_EQ(c, 0);
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->setParameter, nullptr);
    EXPECT_NE(e->getParameter, nullptr);
    EXPECT_EQ(fx.getSampleRate(), 44100.0f);
    EXPECT_EQ(fx.getBlockSize(), 1024);
    EXPECT_EQ(fx.getProgram(), 0);
    // The base constructor asks the host nothing.
    EXPECT_TRUE(host.requests().empty());
}

TEST(AudioEffect, EachFlagSetterTouchesOnlyItsOwnBit) {
    struct Setter {
        void (*apply)(ProbeEffect&, bool);
        VstInt32 bit;
    };
    const Setter setters[] = {
        {[](ProbeEffect& f, bool s) { f.hasClip(s); }, effFlagsHasClip},
        {[](ProbeEffect& f, bool s) { f.hasVu(s); }, effFlagsHasVu},
        {[](ProbeEffect& f, bool s) { f.canMono(s); }, effFlagsCanMono},
        {[](ProbeEffect& f, bool s) { f.canProcessReplacing(s); }, effFlagsCanReplacing},
        {[](ProbeEffect& f, bool s) { f.programsAreChunks(s); }, effFlagsProgramChunks},
        {[](ProbeEffect& f, bool s) { f.isSynth(s); }, effFlagsIsSynth},
        {[](ProbeEffect& f, bool s) { f.noTail(s); }, effFlagsNoSoundInStop},
        {[](ProbeEffect& f, bool s) { f.wantAsyncOperation(s); }, effFlagsExtIsAsync},
        {[](ProbeEffect& f, bool s) { f.hasExternalBuffer(s); }, effFlagsExtHasBuffer},
        {[](ProbeEffect& f, bool s) { f.setEditor(s ? new AEffEditor(&f) : nullptr); },
         effFlagsHasEditor},
    };
    const VstInt32 all = 0xF3F; // every defined bit
    for (const auto& s : setters) {
        ProbeEffect fx(nullptr);
        s.apply(fx, true);
        EXPECT_EQ(fx.flags(), s.bit);
        s.apply(fx, true);
        EXPECT_EQ(fx.flags(), s.bit) << "setting twice keeps one bit";
        fx.getAeffect()->flags = all;
        s.apply(fx, false);
        EXPECT_EQ(fx.flags(), all & ~s.bit);
    }
}

TEST(AudioEffect, RecordSettersWriteTheirFields) {
    ProbeEffect fx(nullptr);
    fx.setUniqueID(fourCharCode('V', 'm', 'q', 'z'));
    fx.setNumInputs(2);
    fx.setNumOutputs(6);
    fx.setInitialDelay(64);
    fx.setRealtimeQualities(3);
    fx.setOfflineQualities(4);
    AEffect* e = fx.getAeffect();
    EXPECT_EQ(e->uniqueID, 0x566D717A);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 6);
    EXPECT_EQ(e->initialDelay, 64);
    EXPECT_EQ(e->realQualities, 3);
    EXPECT_EQ(e->offQualities, 4);
}

TEST(Dispatcher, ProgramOpcodesRespectTheSignedBound) {
    ProbeEffect fx(nullptr);
    dispatch(fx, effSetProgram, 0, 4); // = numPrograms: ignored
    EXPECT_FALSE(fx.reached("setProgram"));
    dispatch(fx, effSetProgram, 0, 3);
    EXPECT_EQ(fx.currentProgram(), 3);
    EXPECT_EQ(dispatch(fx, effGetProgram), 3);
    fx.calls.clear();
    dispatch(fx, effSetProgram, 0, -1); // signed: reaches the operation
    ASSERT_TRUE(fx.reached("setProgram"));
    EXPECT_EQ(fx.calls.back().i1, -1);
}

TEST(Dispatcher, GetVuScalesAndRoundsToEven) {
    ProbeEffect fx(nullptr);
    const struct {
        float vu;
        VstIntPtr answer;
    } cases[] = {{0.5f, 16384}, {1.0f, 32767}, {0.0f, 0}, {-1.0f, -32767}};
    for (const auto& c : cases) {
        fx.vu = c.vu;
        EXPECT_EQ(dispatch(fx, effGetVu), c.answer) << c.vu;
    }
}

TEST(Dispatcher, MainsChangedSuspendsOnZeroAndResumesOtherwise) {
    ProbeEffect fx(nullptr);
    for (VstIntPtr value : {VstIntPtr(0), VstIntPtr(1), VstIntPtr(-5), VstIntPtr(1000)}) {
        fx.calls.clear();
        EXPECT_EQ(dispatch(fx, effMainsChanged, 0, value), 0);
        ASSERT_EQ(fx.calls.size(), 1u);
        EXPECT_EQ(fx.calls[0].name, value == 0 ? "suspend" : "resume");
    }
}

TEST(Dispatcher, SampleRateBlockSizeAndIdentify) {
    ProbeEffect fx(nullptr);
    EXPECT_EQ(dispatch(fx, effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(fx.getSampleRate(), 48000.0f);
    EXPECT_EQ(dispatch(fx, effSetBlockSize, 0, 512), 0);
    EXPECT_EQ(fx.getBlockSize(), 512);
    int dummy = 0;
    EXPECT_EQ(dispatch(fx, effIdentify), 0x4E764566);
    EXPECT_EQ(dispatch(fx, effIdentify, 7, -3, &dummy, 2.5f), 0x4E764566);
}

TEST(Dispatcher, ChunksPassPresetFlagForAnyNonZeroIndex) {
    ProbeEffect fx(nullptr);
    void* data = nullptr;
    EXPECT_EQ(dispatch(fx, effGetChunk, 0, 0, &data), 77);
    EXPECT_FALSE(fx.calls.back().b);
    EXPECT_EQ(dispatch(fx, effGetChunk, -2, 0, &data), 77);
    EXPECT_TRUE(fx.calls.back().b);
    char blob[4] = {};
    EXPECT_EQ(dispatch(fx, effSetChunk, 1, 4, blob), 78);
    EXPECT_TRUE(fx.calls.back().b);
    EXPECT_EQ(fx.calls.back().i1, 4);
    EXPECT_EQ(fx.calls.back().p, blob);
}

TEST(Dispatcher, TextOpcodesPassIndexAndBufferAndAnswerZero) {
    ProbeEffect fx(nullptr);
    char text[64] = {};
    const struct {
        VstInt32 opcode;
        const char* op;
    } cases[] = {{effSetProgramName, "setProgramName"},
                 {effGetProgramName, "getProgramName"},
                 {effGetParamLabel, "getParameterLabel"},
                 {effGetParamDisplay, "getParameterDisplay"},
                 {effGetParamName, "getParameterName"}};
    for (const auto& c : cases) {
        fx.calls.clear();
        EXPECT_EQ(dispatch(fx, c.opcode, 3, 0, text), 0);
        ASSERT_EQ(fx.calls.size(), 1u) << c.op;
        EXPECT_EQ(fx.calls[0].name, c.op);
        EXPECT_EQ(fx.calls[0].p, text);
    }
}

TEST(Dispatcher, NullPointerNeverReachesAnOperationThatUsesIt) {
    ProbeEffect fx(nullptr);
    fx.setEditor(new ProbeEditor(&fx));
    const VstInt32 pointerOpcodes[] = {effSetProgramName,
                                       effGetProgramName,
                                       effGetParamLabel,
                                       effGetParamDisplay,
                                       effGetParamName,
                                       effEditGetRect,
                                       effGetChunk,
                                       effSetChunk,
                                       effProcessEvents,
                                       effString2Parameter,
                                       effGetProgramNameIndexed,
                                       effGetInputProperties,
                                       effGetOutputProperties,
                                       effOfflineNotify,
                                       effOfflinePrepare,
                                       effOfflineRun,
                                       effProcessVarIo,
                                       effSetSpeakerArrangement,
                                       effGetEffectName,
                                       effGetErrorText,
                                       effGetVendorString,
                                       effGetProductString,
                                       effCanDo,
                                       effGetParameterProperties,
                                       effGetMidiProgramName,
                                       effGetCurrentMidiProgram,
                                       effGetMidiProgramCategory,
                                       effGetMidiKeyName};
    for (VstInt32 op : pointerOpcodes) {
        fx.calls.clear();
        // Each answers its own neutral default, as it does with a buffer:
        // "no current MIDI program" is -1, everything else 0.
        const VstIntPtr neutral = op == effGetCurrentMidiProgram ? -1 : 0;
        EXPECT_EQ(dispatch(fx, op, 1, 1, nullptr), neutral) << "opcode " << op;
        EXPECT_TRUE(fx.calls.empty()) << "opcode " << op << " reached " << fx.calls[0].name;
    }
    // The record passes through untouched; any buffer of its size will do.
    alignas(8) unsigned char record[256] = {};
    EXPECT_EQ(dispatch(fx, effGetCurrentMidiProgram, 0, 0, &record), -1);
}

class KnobEditor : public AEffEditor {
public:
    using AEffEditor::AEffEditor;
    VstInt32 setKnobMode(VstInt32) override {
        ++modes;
        return 1;
    }
    int modes = 0;
};

TEST(Dispatcher, NumbersInValueMustFitTheirThirtyTwoBits) {
    if constexpr (sizeof(VstIntPtr) == 8) {
        ProbeEffect fx(nullptr);
        auto* editor = new KnobEditor(&fx);
        fx.setEditor(editor);
        // The low half alone would read 3, 512, 7 ...: not the host's number.
        const VstIntPtr wide = static_cast<VstIntPtr>(0xFFFFFFFF00000000ull);
        dispatch(fx, effSetProgram, 0, wide | 3);
        dispatch(fx, effSetBlockSize, 0, static_cast<VstIntPtr>(0x100000200ll));
        EXPECT_EQ(dispatch(fx, effSetBlockSizeAndSampleRate, 0, wide | 256, nullptr, 96000.0f), 0);
        char chunk[4] = {};
        EXPECT_EQ(dispatch(fx, effSetChunk, 0, wide | 4, chunk), 0);
        char name[kVstMaxProgNameLen] = {};
        EXPECT_EQ(dispatch(fx, effGetProgramNameIndexed, 1, wide, name), 0);
        EXPECT_EQ(dispatch(fx, effSetEditKnobMode, 0, wide | 2), 0);
        EXPECT_EQ(dispatch(fx, effSetViewPosition, 1, wide | 2), 0);
        EXPECT_TRUE(fx.calls.empty()) << "reached " << fx.calls[0].name;
        EXPECT_EQ(editor->modes, 0);
        EXPECT_EQ(fx.currentProgram(), 0);
        EXPECT_EQ(fx.getBlockSize(), 1024);
        EXPECT_EQ(fx.getSampleRate(), 44100.0f);
        // Negative numbers are numbers: the signed comparison still applies.
        dispatch(fx, effSetProgram, 0, -2);
        ASSERT_TRUE(fx.reached("setProgram"));
        EXPECT_EQ(fx.calls.back().i1, -2);
    } else {
        GTEST_SKIP() << "value is 32 bits wide in this build";
    }
}

TEST(Dispatcher, UnknownAndInertOpcodesAnswerZero) {
    ProbeEffect fx(nullptr);
    fx.setEditor(new ProbeEditor(&fx));
    int dummy = 0;
    for (VstInt32 op :
         std::initializer_list<VstInt32>{effEditDraw, effEditMouse, effEditKey, effEditTop,
                                         effEditSleep, -1, -100, 69, 70, 1000}) {
        fx.calls.clear();
        EXPECT_EQ(dispatch(fx, op, 1, 1, &dummy, 1.0f), 0) << op;
        EXPECT_TRUE(fx.calls.empty()) << op;
    }
}

TEST(Dispatcher, EditorOpcodesWithoutAnEditorAnswerZero) {
    ProbeEffect fx(nullptr);
    ERect* rect = nullptr;
    int window = 0;
    EXPECT_EQ(dispatch(fx, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);
    EXPECT_EQ(dispatch(fx, effEditOpen, 0, 0, &window), 0);
    EXPECT_EQ(dispatch(fx, effEditClose), 0);
    EXPECT_EQ(dispatch(fx, effEditIdle), 0);
    EXPECT_EQ(dispatch(fx, effEditKeyDown, 'a', 1, nullptr, 0), 0);
    EXPECT_EQ(dispatch(fx, effEditKeyUp, 'a', 1, nullptr, 0), 0);
    EXPECT_EQ(dispatch(fx, effSetEditKnobMode, 0, 2), 0);
}

TEST(Dispatcher, EditorOpcodesReachTheBaseEditor) {
    ProbeEffect fx(nullptr);
    auto* editor = new ProbeEditor(&fx);
    fx.setEditor(editor);
    ERect* rect = reinterpret_cast<ERect*>(0x1234);
    EXPECT_EQ(dispatch(fx, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, reinterpret_cast<ERect*>(0x1234)) << "base getRect leaves the pointer";
    int w1 = 0, w2 = 0;
    EXPECT_EQ(dispatch(fx, effEditOpen, 0, 0, &w1), 0);
    EXPECT_EQ(editor->parent(), &w1);
    EXPECT_EQ(dispatch(fx, effEditOpen, 0, 0, &w2), 0);
    EXPECT_EQ(editor->parent(), &w2) << "a second open replaces the parent";
    EXPECT_EQ(dispatch(fx, effEditKeyDown, 'a', 0x41, nullptr, 0), -1);
    EXPECT_EQ(dispatch(fx, effEditKeyUp, 'a', 0x41, nullptr, 0), -1);
    EXPECT_EQ(dispatch(fx, effSetEditKnobMode, 0, 2), 0);
    // Idle runs a posted update exactly once.
    dispatch(fx, effEditIdle);
    EXPECT_EQ(editor->updates, 0);
    editor->postUpdate();
    editor->postUpdate();
    dispatch(fx, effEditIdle);
    EXPECT_EQ(editor->updates, 1);
    dispatch(fx, effEditIdle);
    EXPECT_EQ(editor->updates, 1);
    EXPECT_FALSE(editor->onWheel(1.0f));
}

class KeyEditor : public AEffEditor {
public:
    using AEffEditor::AEffEditor;
    VstInt32 onKeyDown(VstKeyCode& k) override {
        last = k;
        return 1;
    }
    VstInt32 onKeyUp(VstKeyCode& k) override {
        last = k;
        return 0;
    }
    VstKeyCode last{};
};

TEST(Dispatcher, KeyRecordIsBuiltFromIndexValueAndRoundedOpt) {
    ProbeEffect fx(nullptr);
    auto* editor = new KeyEditor(&fx);
    fx.setEditor(editor);
    const struct {
        float opt;
        unsigned char modifier;
    } cases[] = {{2.5f, 2}, {3.5f, 4}, {1.0f, 1}, {257.0f, 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(dispatch(fx, effEditKeyDown, 'x', 0x1FF, nullptr, c.opt), 1);
        EXPECT_EQ(editor->last.character, 'x');
        EXPECT_EQ(editor->last.virt, 0xFF);
        EXPECT_EQ(editor->last.modifier, c.modifier) << c.opt;
    }
    EXPECT_EQ(dispatch(fx, effEditKeyUp, 7, 3, nullptr, 0.0f), 0);
    EXPECT_EQ(editor->last.character, 7);
    EXPECT_EQ(editor->last.virt, 3);
}

TEST(DispatcherX, NeutralDefaultsOfTheExtensionOpcodes) {
    struct Bare : AudioEffectX {
        Bare() : AudioEffectX(nullptr, 1, 1) {}
        void process(float**, float**, VstInt32) override {}
    } fx;
    char text[256] = {};
    VstPinProperties pin{};
    const struct {
        VstInt32 opcode;
        VstIntPtr answer;
    } cases[] = {
        {effProcessEvents, 0},
        {effCanBeAutomated, 1},
        {effString2Parameter, 0},
        {effGetNumProgramCategories, 1},
        {effGetProgramNameIndexed, 0},
        {effCopyProgram, 0},
        {effConnectInput, 1},
        {effConnectOutput, 1},
        {effGetInputProperties, 0},
        {effGetOutputProperties, 0},
        {effGetPlugCategory, 0},
        {effGetCurrentPosition, 0},
        {effGetDestinationBuffer, 0},
        {effOfflineNotify, 0},
        {effOfflinePrepare, 0},
        {effOfflineRun, 0},
        {effProcessVarIo, 0},
        {effSetSpeakerArrangement, 0},
        {effSetBypass, 0},
        {effGetEffectName, 0},
        {effGetErrorText, 0},
        {effGetVendorString, 0},
        {effGetProductString, 0},
        {effGetVendorVersion, 0},
        {effVendorSpecific, 0},
        {effCanDo, 0},
        {effGetTailSize, 0},
        {effIdle, 0},
        {effGetIcon, 0},
        {effSetViewPosition, 0},
        {effGetParameterProperties, 0},
        {effKeysRequired, 1},
        {effGetVstVersion, 2200},
        {effGetMidiProgramName, 0},
        {effGetCurrentMidiProgram, -1},
        {effGetMidiProgramCategory, 0},
        {effHasMidiProgramsChanged, 0},
        {effGetMidiKeyName, 0},
        {effBeginSetProgram, 0},
        {effEndSetProgram, 0},
    };
    for (const auto& c : cases) {
        void* ptr = c.opcode == effGetOutputProperties || c.opcode == effGetInputProperties
                        ? static_cast<void*>(&pin)
                        : static_cast<void*>(text);
        EXPECT_EQ(fx.dispatcher(c.opcode, 0, 0, ptr, 0.0f), c.answer) << "opcode " << c.opcode;
    }
    EXPECT_EQ(fx.getChannelParameter(0, 0), 0.0f);
    EXPECT_EQ(fx.offlineGetNumPasses(), 0);
    EXPECT_EQ(fx.offlineGetNumMetaPasses(), 0);
    fx.isSynth(true);
    EXPECT_EQ(fx.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), 2);
    fx.isSynth(false);
    EXPECT_EQ(fx.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), 0);
}

TEST(DispatcherX, BlockSizeAndSampleRateTogether) {
    ProbeEffect fx(nullptr);
    EXPECT_EQ(dispatch(fx, effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f), 1);
    EXPECT_EQ(fx.getBlockSize(), 256);
    EXPECT_EQ(fx.getSampleRate(), 96000.0f);
}

TEST(DispatcherX, ArgumentsReachTheOverrides) {
    ProbeEffect fx(nullptr);
    char text[64] = "receiveVstEvents";
    EXPECT_EQ(dispatch(fx, effCanDo, 0, 0, text), 1);
    EXPECT_EQ(fx.calls.back().p, text);
    EXPECT_EQ(dispatch(fx, effGetProgramNameIndexed, 3, 9, text), 1);
    EXPECT_EQ(fx.calls.back().i1, 3) << "index is the program";
    EXPECT_EQ(fx.calls.back().i2, 9) << "value is the category";
    VstEvents events{};
    EXPECT_EQ(dispatch(fx, effProcessEvents, 0, 0, &events), 5);
    EXPECT_EQ(fx.calls.back().p, &events);
    // Opcodes below 25 still reach the base dispatcher through the extension.
    EXPECT_EQ(dispatch(fx, effIdentify), 0x4E764566);
}

TEST(HostRequests, EachRequestCarriesItsOpcodeAndArguments) {
    RecordingHost host;
    ProbeEffect fx(host);
    int object = 0;
    char text[64] = {};
    const struct {
        const char* name;
        std::function<void()> call;
        VstInt32 opcode, index;
        VstIntPtr value;
        void* ptr;
        float opt;
    } cases[] = {
        {"setParameterAutomated", [&] { fx.setParameterAutomated(5, 0.75f); }, 0, 5, 0, nullptr,
         0.75f},
        {"getMasterVersion", [&] { fx.getMasterVersion(); }, 1, 0, 0, nullptr, 0},
        {"getCurrentUniqueId", [&] { fx.getCurrentUniqueId(); }, 2, 0, 0, nullptr, 0},
        {"masterIdle", [&] { fx.masterIdle(); }, 3, 0, 0, nullptr, 0},
        {"isInputConnected", [&] { fx.isInputConnected(1); }, 4, 1, 0, nullptr, 0},
        {"isOutputConnected", [&] { fx.isOutputConnected(1); }, 4, 1, 1, nullptr, 0},
        {"wantEvents", [&] { fx.wantEvents(1); }, 6, 0, 1, nullptr, 0},
        {"getTimeInfo", [&] { fx.getTimeInfo(0x200); }, 7, 0, 0x200, nullptr, 0},
        {"tempoAt", [&] { fx.tempoAt(99); }, 10, 0, 99, nullptr, 0},
        {"getNumAutomatableParameters", [&] { fx.getNumAutomatableParameters(); }, 11, 0, 0,
         nullptr, 0},
        {"getParameterQuantization", [&] { fx.getParameterQuantization(); }, 12, 0, 0, nullptr, 0},
        {"ioChanged", [&] { fx.ioChanged(); }, 13, 0, 0, nullptr, 0},
        {"needIdle", [&] { fx.needIdle(); }, 14, 0, 0, nullptr, 0},
        {"sizeWindow", [&] { fx.sizeWindow(390, 158); }, 15, 390, 158, nullptr, 0},
        {"updateSampleRate", [&] { fx.updateSampleRate(); }, 16, 0, 0, nullptr, 0},
        {"updateBlockSize", [&] { fx.updateBlockSize(); }, 17, 0, 0, nullptr, 0},
        {"getInputLatency", [&] { fx.getInputLatency(); }, 18, 0, 0, nullptr, 0},
        {"getOutputLatency", [&] { fx.getOutputLatency(); }, 19, 0, 0, nullptr, 0},
        {"getPreviousPlug", [&] { fx.getPreviousPlug(3); }, 20, 0, 0, nullptr, 0},
        {"getNextPlug", [&] { fx.getNextPlug(3); }, 21, 0, 0, nullptr, 0},
        {"willProcessReplacing", [&] { fx.willProcessReplacing(); }, 22, 0, 0, nullptr, 0},
        {"getCurrentProcessLevel", [&] { fx.getCurrentProcessLevel(); }, 23, 0, 0, nullptr, 0},
        {"getAutomationState", [&] { fx.getAutomationState(); }, 24, 0, 0, nullptr, 0},
        {"offlineStart", [&] { fx.offlineStart(reinterpret_cast<VstAudioFile*>(&object), 4, 2); },
         25, 2, 4, &object, 0},
        {"offlineRead",
         [&] { fx.offlineRead(reinterpret_cast<VstOfflineTask*>(&object), 7, true); }, 26, 1, 7,
         &object, 0},
        {"offlineWrite", [&] { fx.offlineWrite(reinterpret_cast<VstOfflineTask*>(&object), 8); },
         27, 0, 8, &object, 0},
        {"offlineGetCurrentPass", [&] { fx.offlineGetCurrentPass(); }, 28, 0, 0, nullptr, 0},
        {"offlineGetCurrentMetaPass", [&] { fx.offlineGetCurrentMetaPass(); }, 29, 0, 0, nullptr,
         0},
        {"setOutputSamplerate", [&] { fx.setOutputSamplerate(22050.0f); }, 30, 0, 0, nullptr,
         22050.0f},
        {"getHostVendorString", [&] { fx.getHostVendorString(text); }, 32, 0, 0, text, 0},
        {"getHostProductString", [&] { fx.getHostProductString(text); }, 33, 0, 0, text, 0},
        {"getHostVendorVersion", [&] { fx.getHostVendorVersion(); }, 34, 0, 0, nullptr, 0},
        {"hostVendorSpecific", [&] { fx.hostVendorSpecific(3, 4, &object, 0.5f); }, 35, 3, 4,
         &object, 0.5f},
        {"canHostDo", [&] { fx.canHostDo(text); }, 37, 0, 0, text, 0},
        {"getHostLanguage", [&] { fx.getHostLanguage(); }, 38, 0, 0, nullptr, 0},
        {"openWindow", [&] { fx.openWindow(&object); }, 39, 0, 0, &object, 0},
        {"closeWindow", [&] { fx.closeWindow(&object); }, 40, 0, 0, &object, 0},
        {"getDirectory", [&] { fx.getDirectory(); }, 41, 0, 0, nullptr, 0},
        {"updateDisplay", [&] { fx.updateDisplay(); }, 42, 0, 0, nullptr, 0},
        {"beginEdit", [&] { fx.beginEdit(6); }, 43, 6, 0, nullptr, 0},
        {"endEdit", [&] { fx.endEdit(6); }, 44, 6, 0, nullptr, 0},
        {"openFileSelector",
         [&] { fx.openFileSelector(reinterpret_cast<VstFileSelect*>(&object)); }, 45, 0, 0, &object,
         0},
    };
    for (const auto& c : cases) {
        host.clearCalls();
        c.call();
        ASSERT_EQ(host.requests().size(), 1u) << c.name;
        const HostRequest r = host.requests()[0];
        EXPECT_EQ(r.effect, fx.getAeffect()) << c.name;
        EXPECT_EQ(r.opcode, c.opcode) << c.name;
        EXPECT_EQ(r.index, c.index) << c.name;
        EXPECT_EQ(r.value, c.value) << c.name;
        EXPECT_EQ(r.ptr, c.ptr) << c.name;
        EXPECT_EQ(r.opt, c.opt) << c.name;
    }
    // The speaker request passes the input arrangement as the value.
    host.clearCalls();
    VstSpeakerArrangement* in = nullptr;
    VstSpeakerArrangement* out = nullptr;
    fx.getSpeakerArrangement(&in, &out);
    ASSERT_EQ(host.requests().size(), 1u);
    EXPECT_EQ(host.requests()[0].opcode, 31);
    EXPECT_EQ(host.requests()[0].value, reinterpret_cast<VstIntPtr>(&in));
    EXPECT_EQ(host.requests()[0].ptr, &out);
}

TEST(HostRequests, AnswersAreConvertedAsTheInterfaceSays) {
    RecordingHost host;
    ProbeEffect fx(host);
    host.answer = 0;
    EXPECT_EQ(fx.getMasterVersion(), 1) << "a host answering 0 still reports version 1";
    EXPECT_TRUE(fx.isInputConnected(0)) << "0 means connected";
    EXPECT_TRUE(fx.isOutputConnected(0));
    EXPECT_FALSE(fx.ioChanged());
    EXPECT_EQ(fx.offlineGetCurrentPass(), 0);
    host.answer = 7;
    EXPECT_EQ(fx.getMasterVersion(), 7);
    EXPECT_EQ(fx.getCurrentUniqueId(), 7);
    EXPECT_FALSE(fx.isInputConnected(0));
    EXPECT_FALSE(fx.isOutputConnected(0));
    EXPECT_TRUE(fx.ioChanged());
    EXPECT_TRUE(fx.needIdle());
    EXPECT_TRUE(fx.sizeWindow(1, 1));
    EXPECT_TRUE(fx.updateDisplay());
    EXPECT_EQ(fx.offlineGetCurrentPass(), 1);
    EXPECT_EQ(fx.offlineGetCurrentMetaPass(), 1);
    EXPECT_EQ(fx.tempoAt(0), 7);
    EXPECT_EQ(fx.canHostDo(const_cast<char*>("sendVstEvents")), 7);
}

TEST(HostRequests, SampleRateAndBlockSizeComeFromTheFieldsNotTheAnswer) {
    RecordingHost host;
    ProbeEffect fx(host);
    host.answer = 48000;
    EXPECT_EQ(fx.updateSampleRate(), 44100.0);
    EXPECT_EQ(fx.updateBlockSize(), 1024);
    // A host that sets the rate during the request is seen at once.
    host.respond = [&](const HostRequest& r) -> VstIntPtr {
        if (r.opcode == audioMasterGetSampleRate)
            r.effect->dispatcher(r.effect, effSetSampleRate, 0, 0, nullptr, 96000.0f);
        if (r.opcode == audioMasterGetBlockSize)
            r.effect->dispatcher(r.effect, effSetBlockSize, 0, 64, nullptr, 0.0f);
        return 0;
    };
    EXPECT_EQ(fx.updateSampleRate(), 96000.0);
    EXPECT_EQ(fx.updateBlockSize(), 64);
}

TEST(HostRequests, WithoutACallbackNothingIsCalledAndFallbacksHold) {
    ProbeEffect fx(nullptr);
    EXPECT_EQ(fx.getMasterVersion(), 1);
    EXPECT_EQ(fx.getCurrentUniqueId(), 0);
    EXPECT_TRUE(fx.isInputConnected(0));
    EXPECT_TRUE(fx.isOutputConnected(0));
    EXPECT_EQ(fx.getTimeInfo(0), nullptr);
    EXPECT_FALSE(fx.ioChanged());
    EXPECT_EQ(fx.updateSampleRate(), 44100.0);
    EXPECT_EQ(fx.updateBlockSize(), 1024);
    EXPECT_FALSE(fx.getHostVendorString(nullptr));
    EXPECT_EQ(fx.getDirectory(), nullptr);
    fx.masterIdle();
    fx.wantEvents(1);
    // The local half of an automated change still happens.
    fx.setParameterAutomated(2, 0.5f);
    ASSERT_TRUE(fx.reached("setParameter"));
    EXPECT_EQ(fx.calls.back().f, 0.5f);
}

TEST(HostRequests, AutomationSetsLocallyBeforeTellingTheHost) {
    RecordingHost host;
    ProbeEffect fx(host);
    bool setBeforeHost = false;
    host.respond = [&](const HostRequest& r) -> VstIntPtr {
        if (r.opcode == audioMasterAutomate) setBeforeHost = fx.reached("setParameter");
        return 0;
    };
    fx.setParameterAutomated(1, 0.3f);
    EXPECT_TRUE(setBeforeHost);
}

TEST(HostRequests, NullFileSelectorDoesNotReachTheHost) {
    RecordingHost host;
    host.answer = 1;
    ProbeEffect fx(host);
    EXPECT_FALSE(fx.openFileSelector(nullptr));
    EXPECT_TRUE(host.requests().empty());
}

TEST(EntryFunctions, PassArgumentsThroughAndCloseDestroys) {
    int effectsDestroyed = 0, editorsDestroyed = 0;
    auto* fx = new ProbeEffect(nullptr, &effectsDestroyed);
    fx->setEditor(new ProbeEditor(fx, &editorsDestroyed));
    AEffect* e = fx->getAeffect();
    float in0[4] = {}, in1[4] = {}, out0[4] = {}, out1[4] = {};
    float* ins[2] = {in0, in1};
    float* outs[2] = {out0, out1};
    e->processReplacing(e, ins, outs, 4);
    e->process(e, ins, outs, 3);
    e->setParameter(e, 6, 0.125f);
    EXPECT_EQ(e->getParameter(e, 3), 0.75f);
    ASSERT_EQ(fx->calls.size(), 3u);
    EXPECT_EQ(fx->calls[0].name, "processReplacing");
    EXPECT_EQ(fx->calls[0].i1, 4);
    EXPECT_EQ(fx->calls[1].name, "process");
    EXPECT_EQ(fx->calls[2].name, "setParameter");
    EXPECT_EQ(fx->calls[2].i1, 6);
    EXPECT_EQ(fx->calls[2].f, 0.125f);
    // effClose: close() runs, the answer is 1 though the dispatcher says 0,
    // and the object (with its editor) is gone.
    EXPECT_EQ(fx->dispatcher(effOpen, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(effectsDestroyed, 1);
    EXPECT_EQ(editorsDestroyed, 1);
}

TEST(EntryFunctions, AttachingTheSameEditorAgainKeepsItAlive) {
    int destroyed = 0;
    ProbeEffect fx(nullptr);
    auto* editor = new ProbeEditor(&fx, &destroyed);
    fx.setEditor(editor);
    fx.setEditor(fx.getEditor());
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(fx.getEditor(), editor);
    EXPECT_EQ(fx.flags() & effFlagsHasEditor, effFlagsHasEditor);
}

TEST(Dispatcher, NonNumbersFromTheHostRoundToDefinedIntegers) {
    ProbeEffect fx(nullptr);
    fx.vu = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(dispatch(fx, effGetVu), 0);
    fx.vu = std::numeric_limits<float>::infinity();
    EXPECT_EQ(dispatch(fx, effGetVu), 2147483647);
    auto* editor = new KeyEditor(&fx);
    fx.setEditor(editor);
    dispatch(fx, effEditKeyDown, 'k', 0, nullptr, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(editor->last.modifier, 0);
    dispatch(fx, effEditKeyDown, 'k', 0, nullptr, -1.0f);
    EXPECT_EQ(editor->last.modifier, 0xFF) << "low 8 bits of -1";
}

TEST(EntryFunctions, ReplacingTheEditorDestroysTheOldOne) {
    int destroyed = 0;
    ProbeEffect fx(nullptr);
    fx.setEditor(new ProbeEditor(&fx, &destroyed));
    fx.setEditor(new ProbeEditor(&fx, &destroyed));
    EXPECT_EQ(destroyed, 1);
    fx.setEditor(nullptr);
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(fx.getEditor(), nullptr);
}

} // namespace
