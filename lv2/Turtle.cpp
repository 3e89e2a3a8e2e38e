// velmora-lv2-turtle DIR: writes the LV2 bundle's description into DIR
// (manifest.ttl and velmora.ttl), at build time, from the parameter table
// and the ports (lv2/Ports.h). So the names, the ranges in their units, the
// defaults (program 0's values in those units) and the choices are the ones
// the VST 2 plug-in shows, and cannot drift from them.
#include "lv2/Ports.h"
#include "plugin/params/Units.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace {

using namespace lv2glue;

constexpr std::string_view kPrefixes = R"(@prefix doap: <http://usefulinc.com/ns/doap#> .
@prefix foaf: <http://xmlns.com/foaf/0.1/> .
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix opts: <http://lv2plug.in/ns/ext/options#> .
@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .
@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .
@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .
@prefix units: <http://lv2plug.in/ns/extensions/units#> .
@prefix urid: <http://lv2plug.in/ns/ext/urid#> .
)";

// A single as a Turtle decimal: the shortest text that reads back as the
// same single, so a host that parses it gets the very value.
std::string number(float v) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    std::string s(text, r.ptr);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string quoted(std::string_view text) {
    std::string s(1, '"');
    for (char c : text) {
        if (c == '"' || c == '\\') s.push_back('\\');
        s.push_back(c);
    }
    s.push_back('"');
    return s;
}

std::string uri(std::string_view u) {
    std::string s(1, '<');
    s.append(u);
    s.push_back('>');
    return s;
}

void controlPort(std::ostream& o, const ParameterInfo& p) {
    const params::UnitRange range = params::unitRange(p.index);
    o << "\t\ta lv2:InputPort , lv2:ControlPort ;\n"
      << "\t\tlv2:index " << p.index << " ;\n"
      << "\t\tlv2:symbol " << quoted(kControlSymbols[static_cast<std::size_t>(p.index)]) << " ;\n"
      << "\t\tlv2:name " << quoted(p.hostName) << " ;\n"
      << "\t\tlv2:default " << number(params::unitValue(p.index, p.factoryValue)) << " ;\n"
      << "\t\tlv2:minimum " << number(range.minimum) << " ;\n"
      << "\t\tlv2:maximum " << number(range.maximum);
    switch (p.unit) {
    case UnitKind::Hertz:
        o << " ;\n\t\tunits:unit units:hz ;\n\t\tlv2:portProperty pprops:logarithmic";
        break;
    case UnitKind::Percent:
        o << " ;\n\t\tunits:unit units:pc";
        break;
    case UnitKind::Choice:
        // Two choices are a switch; more are a list to pick from.
        o << " ;\n\t\tlv2:portProperty "
          << (params::isSwitch(p.index) ? "lv2:toggled" : "lv2:integer , lv2:enumeration");
        for (std::size_t k = 0; k < p.choices.size(); ++k)
            o << (k == 0 ? " ;\n\t\tlv2:scalePoint [\n" : " , [\n") << "\t\t\trdfs:label "
              << quoted(p.choices[k]) << " ;\n\t\t\trdf:value " << number(static_cast<float>(k))
              << "\n\t\t]";
        break;
    }
}

// A port group's URI: the plug-in's with the group's symbol as fragment.
std::string groupUri(Group g) {
    for (const GroupInfo& info : kGroups)
        if (info.group == g) return uri(std::string(kPluginUri) + "#" + std::string(info.symbol));
    return {};
}

void audioPort(std::ostream& o, const AudioPortInfo& a) {
    o << "\t\ta lv2:" << (a.input ? "InputPort" : "OutputPort") << " , lv2:AudioPort ;\n"
      << "\t\tlv2:index " << static_cast<unsigned>(a.index) << " ;\n"
      << "\t\tlv2:symbol " << quoted(a.symbol) << " ;\n"
      << "\t\tlv2:name " << quoted(a.name) << " ;\n"
      << "\t\tpg:group " << groupUri(a.group) << " ;\n"
      << "\t\tlv2:designation pg:" << a.designation;
    // The key is a side-chain: hosts do not count it as a main input, and
    // may leave it unconnected (then it is silence).
    if (a.sideChain) o << " ;\n\t\tlv2:portProperty lv2:isSideChain , lv2:connectionOptional";
}

// The host's bypass: hosts that find a port designated lv2:enabled switch
// the plug-in through it instead of passing its inputs on themselves, which
// would give the Key on one output.
void enabledPort(std::ostream& o) {
    o << "\t\ta lv2:InputPort , lv2:ControlPort ;\n"
      << "\t\tlv2:index " << static_cast<unsigned>(kPortEnabled) << " ;\n"
      << "\t\tlv2:symbol " << quoted(kEnabledSymbol) << " ;\n"
      << "\t\tlv2:name " << quoted(kEnabledName) << " ;\n"
      << "\t\tlv2:designation lv2:enabled ;\n"
      << "\t\tlv2:default " << number(1.0f) << " ;\n\t\tlv2:minimum " << number(0.0f)
      << " ;\n\t\tlv2:maximum " << number(1.0f) << " ;\n"
      << "\t\tlv2:portProperty lv2:toggled , lv2:connectionOptional";
}

// The groups: the Key's is a side-chain of the main input's.
void groups(std::ostream& o) {
    for (const GroupInfo& g : kGroups) {
        o << "\n"
          << groupUri(g.group) << "\n\ta pg:" << (g.stereo ? "StereoGroup" : "MonoGroup")
          << " , pg:" << (g.input ? "InputGroup" : "OutputGroup") << " ;\n";
        if (g.group == Group::SideChain)
            o << "\tpg:sideChainOf " << groupUri(Group::MainInput) << " ;\n";
        o << "\tlv2:symbol " << quoted(g.symbol) << " ;\n\trdfs:label " << quoted(g.label)
          << " .\n";
    }
}

std::string manifest() {
    std::ostringstream o;
    o << kPrefixes << "\n"
      << uri(kPluginUri) << "\n\ta lv2:Plugin ;\n\tlv2:binary " << uri(kPluginBinary)
      << " ;\n\trdfs:seeAlso " << uri(kDescriptionFile) << " .\n\n"
      << uri(kUiUri) << "\n\ta ui:X11UI ;\n\tui:binary " << uri(kUiBinary) << " ;\n\trdfs:seeAlso "
      << uri(kDescriptionFile) << " .\n";
    return o.str();
}

std::string description() {
    std::ostringstream o;
    o << kPrefixes << "\n"
      << uri(kPluginUri) << "\n"
      << "\ta lv2:Plugin , lv2:FilterPlugin , doap:Project ;\n"
      << "\tdoap:name \"Velmora\" ;\n"
      << "\tdoap:maintainer [\n\t\tfoaf:name \"Pemberly\"\n\t] ;\n"
      << "\trdfs:comment \"A keyed envelope filter: the level of the Key sweeps a filter that "
         "the Audio passes.\" ;\n"
      << "\tlv2:optionalFeature lv2:hardRTCapable ;\n"
      << "\tui:ui " << uri(kUiUri) << " ;\n"
      << "\tpg:mainInput " << groupUri(Group::MainInput) << " ;\n"
      << "\tpg:mainOutput " << groupUri(Group::MainOutput) << " ;\n"
      << "\tlv2:port";
    bool first = true;
    auto open = [&] {
        o << (first ? " [\n" : " , [\n");
        first = false;
    };
    for (const ParameterInfo& p : kParameters) {
        open();
        controlPort(o, p);
        o << "\n\t]";
    }
    for (const AudioPortInfo& a : kAudioPorts) {
        open();
        audioPort(o, a);
        o << "\n\t]";
    }
    open();
    enabledPort(o);
    o << "\n\t] .\n";
    groups(o);
    o << "\n"
      << uri(kUiUri) << "\n"
      << "\ta ui:X11UI ;\n"
      << "\tlv2:requiredFeature ui:parent , ui:idleInterface ;\n"
      << "\tlv2:optionalFeature ui:resize , ui:touch , ui:noUserResize , opts:options , urid:map "
         ";\n"
      << "\topts:supportedOption ui:scaleFactor ;\n"
      << "\tlv2:extensionData ui:idleInterface .\n";
    return o.str();
}

bool write(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
    f.close();
    if (!f) std::fprintf(stderr, "velmora-lv2-turtle: cannot write %s\n", path.c_str());
    return static_cast<bool>(f);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-lv2-turtle BUNDLE_DIR\n");
        return 2;
    }
    std::string manifestPath(argv[1]), descriptionPath(argv[1]);
    manifestPath.append("/manifest.ttl");
    descriptionPath.append("/").append(kDescriptionFile);
    const bool ok = write(manifestPath, manifest()) && write(descriptionPath, description());
    return ok ? 0 : 1;
}
