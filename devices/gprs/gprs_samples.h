// The reports a sample GPRS station gives to each poll letter, shared by the
// station simulator and the tests that check what arrived. The tagged ones:
//
// Value x (0..90) of station s is 1000 * s + x, except x13 = 3 (the
// operating state) and x57 = 2 (the mode: bit 23 with state 3). STA position
// i is "1" when i + s is even.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace lark {

int32_t GprsSampleValue(int x, int station);
// The report (without the frame) answering `letter`; empty for an unknown
// letter. `given` replaces values by number (the simulator's --value).
std::string GprsSampleReport(char letter, int station, std::string_view name,
                             const std::map<int, int32_t>& given = {});
// The same report with the values of a healthy UPS behind the station (those
// of the ASCII UPS samples, in the units the live data keeps; no alarm), as
// the station simulator sends by default.
std::string GprsStationReport(char letter, int station, std::string_view name);

}  // namespace lark
