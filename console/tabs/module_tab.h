// The Module tab (page 2): the inside of a UPS polled over a serial line. A
// modular UPS shows one column per present power module (sections, state,
// temperatures, voltages, alarms) beside the model's picture; the binary
// three-phase UPS shows its R, S and T phases with their alarm groups and up
// to two active power filters. It reads the console's tree only and sends
// nothing.
#pragma once
#include <QImage>
#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "console/views/canvas.h"
#include "console/views/panel_inputs.h"
#include "core/device_node.h"

namespace lark {

class ConsoleContext;

// What the last paint showed, console-wide (not per device): choosing another
// device compares its modules and mask with those of the device before.
struct ModuleViewCaches {
  std::array<bool, 6> present{};
  std::array<bool, 6> faulty{};
  uint64_t shownMask = 0;  // the three-phase view's extended event mask
};

// The pictures under <install>/UPS, each path part found without case.
enum ModulePicture : int {
  kPictureVorm = 0,    // UPS/Vorm/vorm.bmp, model code 4
  kPictureSelka = 1,   // UPS/Selka/selka-80k.bmp, model codes 3 and 5
  kPictureModule1 = 2, // UPS/Selka/pm-1.bmp .. pm-4.bmp, a faulty module's slot
  kPictureTrobe = 6,   // UPS/Trobe/trobe.bmp, the three-phase view
  kModulePictureCount = 7,
};

// One console's Module tab state: the caches and the pictures, loaded on
// first need and kept until FreePictures.
class ModuleTabState {
 public:
  explicit ModuleTabState(std::string installDir) : installDir_(std::move(installDir)) {}

  // The picture; read from disk the first time, and again only with `retry`
  // while it is missing (a full repaint). A null image when it cannot be read.
  const QImage& Picture(int id, bool retry);
  void FreePictures();
  // Reads from disk so far, found or not.
  int pictureReads() const { return reads_; }

  ModuleViewCaches caches;

 private:
  std::string installDir_;
  std::array<QImage, kModulePictureCount> pictures_;
  std::array<bool, kModulePictureCount> tried_{};
  int reads_ = 0;
};

// Reads one picture: each part of `parts` found without case under `dir`,
// a regular file only, decoded under the map's allocation limit. Null when
// missing or unreadable.
QImage ReadUpsPicture(const std::string& dir, const std::array<const char*, 3>& parts);

// Paints the page for `device`; with `full` the page is cleared and the
// pictures drawn. True when the present modules, a module's fault flag or the
// shown extended mask changed (the caller then repaints the whole window).
bool PaintModuleTab(Canvas& c, const PanelInputs& in, ModuleTabState& state, const DeviceNode& device,
                    bool full);

// Makes the console's ModuleTabState and fills paintModuleTab and freePictures.
void InstallModuleTab(ConsoleContext& ctx);

}  // namespace lark
