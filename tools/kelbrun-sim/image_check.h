// kelbrun-sim --check on what the OS image holds: the object store's copies, and the COREDLL
// components the launcher needs.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_CHECK_H
#define KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_CHECK_H

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/device.h"
#include "platform/sim/emulator/kernel/coredll_image.h"
#include "tools/kelbrun-sim/boot_order.h"
#include "tools/kelbrun-sim/finding.h"
#include "tools/kelbrun-sim/image_files/build_variables.h"
#include "tools/kelbrun-sim/image_files/image_contents.h"
#include "tools/kelbrun-sim/image_files/source_text.h"

namespace imagecheck {

// What --check knows beyond the simulated device itself.
struct CheckContext {
    // The image's files, folders and copies from --bib and --dat, when any was given; already
    // applied to the device (ApplyImage).
    const imagefiles::ImageContents* image = nullptr;
    // The image build's variables (--environment, --define), when any was given.
    const imagefiles::Variables* variables = nullptr;
    // The image's own coredll.dll (--coredll, --release), which the launcher's imports are
    // judged by instead of the variables' components.
    const sim::DllImage* coredll = nullptr;
    // What reading the design's files left out (LOC_ tokens not replaced, #include lines not
    // read), for the checks that rest on it.
    const std::vector<imagefiles::Error>* readerWarnings = nullptr;
};

// Whether the device's \Windows is described, by the image or by a Windows folder under the
// root, so that a file missing there is missing on the unit too.
bool DescribesWindows(const sim::Device& device, const CheckContext& context);

// Whether a component gate of COREDLL's exports (platform/coredll.exports) holds, and by which
// reading of it (imagefiles::DecideGate): "always" always, by no variable. Nothing when no
// variable it could rest on is set.
std::optional<imagefiles::GateDecision> DecideGate(std::u16string_view gate,
                                                   const imagefiles::Variables& variables);
std::optional<bool> GateHolds(std::u16string_view gate, const imagefiles::Variables& variables);

struct ImageReport {
    setupcheck::Findings findings;
};

// The image's copies whose source it lacks, and each of the launcher's imports: in the image's
// coredll.dll when given, else by its component (when COREDLL_COMPONENTS or CE_MODULES is known).
// Where the boot's programs are looked for among the image's files is the program search's.
ImageReport CheckImage(const CheckContext& context);

}  // namespace imagecheck

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_IMAGE_CHECK_H
