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
        findings.push_back(setupcheck::AboutFile(
            Level::kWarning, copy.where.file, copy.where.Describe(),
            "the copy " + sim::ToUtf8(copy.path) + " of " + sim::ToUtf8(copy.source) +
                ": no .bib file puts that file in the image's \\Windows, so the object store has "
                "nothing to copy and makes no file there"));
    }
}

// describesImage: the check is on an OS design, whose COREDLL may lack what the launcher needs.
void CheckComponents(const imagefiles::Variables& variables, bool describesImage,
                     Findings& findings) {
    if (variables.Find(u"COREDLL_COMPONENTS") == nullptr &&
        variables.Find(u"CE_MODULES") == nullptr) {
        if (describesImage || !variables.Empty()) {
            findings.push_back(setupcheck::AboutProgram(
                Level::kWarning, "COREDLL",
                "neither COREDLL_COMPONENTS nor CE_MODULES is known (--environment, --define): "
                "whether the image's COREDLL has the functions the launcher imports could not "
                "be judged"));
        }
        return;
    }
    std::map<std::string, std::vector<std::string>> unjudged;  // the variable: its imports
    for (size_t i = 0; i < kLauncherImportCount; ++i) {
        const sim::CoredllExport* known = sim::FindCoredllExport(kLauncherImports[i]);
        if (known == nullptr) {
            continue;  // configuring refuses such a name
        }
        const std::u16string gate = sim::FromUtf8(known->component).value_or(u"");
        const auto decision = DecideGate(gate, variables);
        const std::string name = known->name;
        if (!decision) {
            // Named by the first variable it could rest on.
            const auto readings = imagefiles::GateReadings(gate);
            unjudged[readings.empty() ? known->component : sim::ToUtf8(readings[0].variable)]
                .push_back(name);
        } else if (!decision->holds) {
            const imagefiles::GateReading& read = decision->by;
            findings.push_back(setupcheck::AboutProgram(
                Level::kError, "COREDLL",
                "the launcher imports " + name + " (ordinal " + std::to_string(known->ordinal) +
                    "), which COREDLL exports only with " + known->component + ", and " +
                    sim::ToUtf8(read.variable) + " has no \"" + Lower(sim::ToUtf8(read.word)) +
                    "\": the unit's loader refuses the launcher and prints \"" +
                    sim::LoaderMissingLine(known->ordinal) + "\""));
        }
    }
    for (const auto& [variable, imports] : unjudged) {
        std::string text = variable;
        text +=
            " is not known (--environment, --define): whether the image's COREDLL has the "
            "launcher's ";
        text += setupcheck::ListOf(imports);
        text += " could not be judged";
        findings.push_back(setupcheck::AboutProgram(Level::kWarning, "COREDLL", std::move(text)));
    }
}

// With the image's own coredll.dll the question is exact: does its export table have each of the
// launcher's ordinals.
void CheckExports(const sim::DllImage& coredll, Findings& findings) {
    for (size_t i = 0; i < kLauncherImportCount; ++i) {
        const sim::CoredllExport* known =
            sim::FindCoredllExport(std::string_view(kLauncherImports[i]));
        if (known != nullptr && coredll.ExportAddress(known->ordinal) == 0) {
            findings.push_back(setupcheck::AboutProgram(
                Level::kError, "COREDLL",
                "the launcher imports " + std::string(known->name) + " (ordinal " +
                    std::to_string(known->ordinal) +
                    "), which the image's coredll.dll does not export: the unit's loader "
                    "refuses the launcher and prints \"" +
                    sim::LoaderMissingLine(known->ordinal) + "\""));
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

std::optional<imagefiles::GateDecision> DecideGate(std::u16string_view gate,
                                                   const imagefiles::Variables& variables) {
    if (sim::FoldCase(gate) == u"ALWAYS") {
        return imagefiles::GateDecision{true, {}};
    }
    return imagefiles::DecideGate(
        gate, [&](std::u16string_view variable) { return variables.Find(variable); });
}

std::optional<bool> GateHolds(std::u16string_view gate, const imagefiles::Variables& variables) {
    const auto decision = DecideGate(gate, variables);
    return decision ? std::optional<bool>(decision->holds) : std::nullopt;
}

ImageReport CheckImage(const CheckContext& context) {
    ImageReport report;
    if (context.image != nullptr) {
        CheckCopies(*context.image, report.findings);
    }
    if (context.coredll != nullptr) {
        CheckExports(*context.coredll, report.findings);
    } else if (context.variables != nullptr) {
        CheckComponents(*context.variables, context.image != nullptr, report.findings);
    }
    return report;
}

}  // namespace imagecheck
