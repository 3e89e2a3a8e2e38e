#include "tools/host/VstHost.h"

#include <map>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vhost {

namespace {

// Which Host a record belongs to. During `main` the effect may call back
// before the host knows its record (with null, or with the new record while
// the constructor runs), so the host being opened on this thread answers.
std::mutex registryLock;
std::map<AEffect*, Host*>& registry() {
    static std::map<AEffect*, Host*> hosts;
    return hosts;
}
thread_local Host* opening = nullptr;

Host* hostFor(AEffect* effect) {
    if (effect) {
        std::lock_guard<std::mutex> g(registryLock);
        auto it = registry().find(effect);
        if (it != registry().end()) return it->second;
    }
    return opening;
}

} // namespace

std::unique_ptr<Library> Library::load(const std::string& path, std::string* error) {
#if defined(_WIN32)
    HMODULE h = LoadLibraryA(path.c_str());
    if (!h) {
        if (error) *error = "LoadLibrary failed with error " + std::to_string(GetLastError());
        return nullptr;
    }
    return std::unique_ptr<Library>(new Library(reinterpret_cast<void*>(h)));
#else
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        if (error) *error = dlerror();
        return nullptr;
    }
    return std::unique_ptr<Library>(new Library(h));
#endif
}

Library::~Library() {
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

void* Library::symbol(const char* name) const {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

Host::Host(MainProc entry) : entry(entry) {}

Host::~Host() {
    if (fx && owned)
        close();
    else if (fx)
        forget(fx);
}

AEffect* Host::open() {
    Host* previous = opening;
    opening = this;
    AEffect* e = entry(&Host::hostCallback);
    opening = previous;
    fx = e;
    owned = e != nullptr;
    if (e) {
        std::lock_guard<std::mutex> g(registryLock);
        registry()[e] = this;
    }
    return e;
}

void Host::attach(AEffect* effect) {
    fx = effect;
    owned = false;
    std::lock_guard<std::mutex> g(registryLock);
    registry()[effect] = this;
}

void Host::forget(AEffect* effect) {
    std::lock_guard<std::mutex> g(registryLock);
    registry().erase(effect);
    fx = nullptr;
}

VstIntPtr VSTCALLBACK Host::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                         VstIntPtr value, void* ptr, float opt) {
    Host* host = hostFor(effect);
    if (!host) return 0;
    HostCall call{effect, opcode, index, value, ptr, opt};
    if (host->keepLog) {
        std::lock_guard<std::mutex> g(host->lock);
        host->log.push_back(call);
    }
    return host->answer(call);
}

VstIntPtr Host::answer(const HostCall& call) {
    if (onCall) {
        if (auto a = onCall(call)) return *a;
    }
    switch (call.opcode) {
    case audioMasterVersion:
        return versionAnswer;
    case audioMasterGetSampleRate:
        return sampleRateAnswer;
    case audioMasterGetBlockSize:
        return blockSizeAnswer;
    default:
        return 0;
    }
}

std::vector<HostCall> Host::calls() const {
    std::lock_guard<std::mutex> g(lock);
    return log;
}

std::vector<HostCall> Host::callsOf(VstInt32 opcode) const {
    std::lock_guard<std::mutex> g(lock);
    std::vector<HostCall> out;
    for (const auto& c : log)
        if (c.opcode == opcode) out.push_back(c);
    return out;
}

void Host::clearCalls() {
    std::lock_guard<std::mutex> g(lock);
    std::vector<HostCall>().swap(log);
}

VstIntPtr Host::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return fx->dispatcher(fx, opcode, index, value, ptr, opt);
}

void Host::setParameter(VstInt32 index, float value) { fx->setParameter(fx, index, value); }

float Host::getParameter(VstInt32 index) { return fx->getParameter(fx, index); }

void Host::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    fx->processReplacing(fx, inputs, outputs, frames);
}

void Host::process(float** inputs, float** outputs, VstInt32 frames) {
    fx->process(fx, inputs, outputs, frames);
}

std::string Host::getString(VstInt32 opcode, VstInt32 index, VstIntPtr value, std::size_t size) {
    std::vector<char> buffer(size + 1, '\0');
    dispatch(opcode, index, value, buffer.data());
    buffer[size] = '\0';
    return std::string(buffer.data());
}

VstIntPtr Host::canDo(const char* text) {
    return dispatch(effCanDo, 0, 0, const_cast<char*>(text));
}

VstIntPtr Host::close() {
    AEffect* e = fx;
    if (!e) return 0;
    VstIntPtr result = e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    forget(e);
    return result;
}

} // namespace vhost
