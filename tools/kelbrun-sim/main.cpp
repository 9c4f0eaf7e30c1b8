// kelbrun-sim: a dry run of the launcher on a simulated device, described by .reg files and a
// folder that stands for the device's root folder; or, with --export-registry, the registry
// that those files give, written as one registry editor export; or, with --check, what in the
// setup would stop the launcher.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/startup.h"
#include "platform/sim/text.h"
#include "tools/kelbrun-sim/device_setup.h"
#include "tools/kelbrun-sim/explain/explain.h"
#include "tools/kelbrun-sim/load_only.h"
#include "tools/kelbrun-sim/reg_export.h"
#include "tools/kelbrun-sim/report.h"
#include "tools/kelbrun-sim/setup_check.h"

namespace {

int Fail(const std::string& message) {
    std::cerr << "kelbrun-sim: " << message << "\n";
    return 2;
}

void Report(const sim::RunResult& result, const sim::Device& device,
            const simoptions::Program& program) {
    for (const std::u16string& line : result.record.trail) {
        std::cout << sim::ToUtf8(line);
    }
    std::cout.flush();
    // The one thing the simulated kernel makes up for a unit's coredll.dll: said once, as
    // COREDLL's own lines are, apart from the launcher's report.
    if (program.coredll && program.coredll->localeData.empty()) {
        std::cerr << "sim: coredll.dll: no wince.nls beside it: the simulated kernel gives it a "
                     "locale view of its own (English (United States), code page 1252) and "
                     "answers its CompareStringW\n";
    }
    std::cerr << simreport::Describe(result, device.files.Mounts());
}

}  // namespace

int main(int argc, char** argv) {
    simoptions::Options options;
    try {
        options = simoptions::ParseOptions(argc, argv);
    } catch (const simoptions::UsageError& error) {
        std::cerr << "kelbrun-sim: " << error.message << " (kelbrun-sim --help shows the usage)\n";
        return 2;
    }
    if (options.help) {
        std::cout << simoptions::kUsage;
        return 0;
    }
    try {
        if (options.explain) {
            return simexplain::ExplainLog(options, std::cout, std::cerr);
        }
        if (options.loadOnly) {
            return simloadonly::DescribeLoad(*options.exe, std::cout, std::cerr);
        }
        sim::Device& device = sim::CurrentDevice();
        simoptions::Program program;
        simoptions::Setup setup;
        if (auto error = simoptions::SetUpDevice(options, device, setup)) {
            return Fail(*error);
        }
        // What the files said in passing is part of the setup: in --check's report, or else
        // on standard error, once either way.
        setupcheck::Findings readerWarnings;
        for (const imagefiles::Error& warning : setup.warnings) {
            readerWarnings.push_back(setupcheck::ReaderWarning(warning, options.check));
        }
        if (!options.check) {
            for (const std::string& line :
                 setupcheck::FindingLines(readerWarnings, options.verbose)) {
                std::cerr << "kelbrun-sim: " << line << "\n";
            }
        } else {
            std::optional<sim::DllImage> coredll;
            if (options.coredll) {
                auto loaded = simoptions::ReadCoredll(*options.coredll);
                if (auto* refusal = std::get_if<std::string>(&loaded)) {
                    return Fail(*refusal);
                }
                coredll = std::move(std::get<sim::DllImage>(loaded));
            }
            const imagecheck::CheckContext context{setup.describesImage ? &setup.image : nullptr,
                                                   &setup.variables, coredll ? &*coredll : nullptr,
                                                   &setup.warnings};
            setupcheck::Report report =
                setupcheck::CheckSetup(device, options.root.has_value(), context);
            report.findings.insert(report.findings.end(), readerWarnings.begin(),
                                   readerWarnings.end());
            std::cout << setupcheck::FormatReport(report, options.verbose);
            return setupcheck::CountErrors(report.findings) == 0 ? 0 : 1;
        }
        if (options.exportRegistry) {
            if (auto error = regfile::SaveExport(device.registry, *options.exportRegistry)) {
                return Fail(*error);
            }
            return 0;
        }
        if (auto error = simoptions::LoadProgram(options, program)) {
            return Fail(*error);
        }
        const sim::RunResult result = simoptions::RunProgramOnDevice(program);
        if (!result.record.stopped.empty()) {
            return Fail(*options.coredll + ": " + result.record.stopped);
        }
        Report(result, device, program);
        return result.exited ? result.status : 128 + result.signal;
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
}
