#include "tools/kelbrun-sim/image_check.h"

#include <map>
#include <utility>

#include "platform/sim/emulator/coredll_exports.h"
#include "platform/sim/text.h"
#include "tools/kelbrun-sim/image_files/device_image.h"
#include "tools/kelbrun-sim/launcher_imports.h"

namespace imagecheck {
namespace {

using setupcheck::Finding;
using setupcheck::Findings;
using Level = Finding::Level;

constexpr std::u16string_view kModules = u"_MODULES_";

std::string Lower(std::string text) {
    for (char& c : text) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    }
    return text;
}

void CheckCopies(const imagefiles::ImageContents& image, Findings& findings) {
    for (const imagefiles::StoreCopy& copy : image.copies) {
        if (imagefiles::SourceOf(image, copy) != nullptr) {
            continue;
        }
        findings.push_back(
            {Level::kWarning, copy.where.Describe() + ": the copy " + sim::ToUtf8(copy.path) +
                                  " of " + sim::ToUtf8(copy.source) +
                                  ": no .bib file puts that file in the image's \\Windows, so "
                                  "the object store has nothing to copy and makes no file there"});
    }
}

void CheckComponents(const imagefiles::Variables& variables, Findings& findings) {
    if (variables.Find(u"COREDLL_COMPONENTS") == nullptr &&
        variables.Find(u"CE_MODULES") == nullptr) {
        return;
    }
    std::map<std::string, std::string> unjudged;  // the variable: the imports resting on it
    for (size_t i = 0; i < kLauncherImportCount; ++i) {
        const sim::CoredllExport* known = sim::FindCoredllExport(kLauncherImports[i]);
        if (known == nullptr) {
            continue;  // configuring refuses such a name
        }
        const std::u16string gate = sim::FromUtf8(known->component).value_or(u"");
        const std::optional<bool> holds = GateHolds(gate, variables);
        const std::optional<Gate> read = ReadGate(gate);
        const std::string name = known->name;
        if (!holds) {
            std::string& list = unjudged[read ? sim::ToUtf8(read->variable) : known->component];
            list += (list.empty() ? "" : ", ") + name;
        } else if (!*holds && read) {
            findings.push_back(
                {Level::kError, "COREDLL: the launcher imports " + name + " (ordinal " +
                                    std::to_string(known->ordinal) +
                                    "), which COREDLL exports only with " + known->component +
                                    ", and " + sim::ToUtf8(read->variable) + " has no \"" +
                                    Lower(sim::ToUtf8(read->word)) +
                                    "\": the unit's loader refuses the launcher and prints \"" +
                                    sim::LoaderMissingLine(known->ordinal) + "\""});
        }
    }
    for (const auto& [variable, imports] : unjudged) {
        std::string text = "COREDLL: " + variable;
        text +=
            " is not known (--environment, --define): whether the image's COREDLL has the "
            "launcher's ";
        text += imports;
        text += " could not be judged";
        findings.push_back({Level::kWarning, std::move(text)});
    }
}

// With the image's own coredll.dll the question is exact: does its export table have each of the
// launcher's ordinals.
void CheckExports(const sim::DllImage& coredll, Findings& findings) {
    for (size_t i = 0; i < kLauncherImportCount; ++i) {
        const sim::CoredllExport* known =
            sim::FindCoredllExport(std::string_view(kLauncherImports[i]));
        if (known != nullptr && coredll.ExportAddress(known->ordinal) == 0) {
            findings.push_back(
                {Level::kError, "COREDLL: the launcher imports " + std::string(known->name) +
                                    " (ordinal " + std::to_string(known->ordinal) +
                                    "), which the image's coredll.dll does not export: the "
                                    "unit's loader refuses the launcher and prints \"" +
                                    sim::LoaderMissingLine(known->ordinal) + "\""});
        }
    }
}

}  // namespace

bool DescribesWindows(const sim::Device& device, const CheckContext& context) {
    if (context.image != nullptr) {
        return true;
    }
    const auto windows = device.files.Find(u"\\Windows");
    return windows && windows->isFolder;
}

std::optional<Gate> ReadGate(std::u16string_view gate) {
    const std::u16string folded = sim::FoldCase(gate);
    const size_t modules = folded.find(kModules);
    Gate read;
    if (modules != std::u16string::npos && modules > 0) {
        read = {folded.substr(0, modules) + u"_MODULES", folded.substr(modules + kModules.size())};
    } else {
        const size_t cut = folded.find(u'_');
        if (cut == std::u16string::npos || cut == 0) {
            return std::nullopt;
        }
        read = {folded.substr(0, cut) + u"_COMPONENTS", folded.substr(cut + 1)};
    }
    if (read.word.empty()) {
        return std::nullopt;
    }
    return read;
}

std::optional<bool> GateHolds(std::u16string_view gate, const imagefiles::Variables& variables) {
    if (sim::FoldCase(gate) == u"ALWAYS") {
        return true;
    }
    return imagefiles::GateHolds(
        gate, [&](std::u16string_view variable) { return variables.Find(variable); });
}

ImageReport CheckImage(const CheckContext& context) {
    ImageReport report;
    if (context.image != nullptr) {
        CheckCopies(*context.image, report.findings);
    }
    if (context.coredll != nullptr) {
        CheckExports(*context.coredll, report.findings);
    } else if (context.variables != nullptr) {
        CheckComponents(*context.variables, report.findings);
    }
    return report;
}

}  // namespace imagecheck
