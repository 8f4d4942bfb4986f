// Installations written in the scenario language: the steps that describe a
// studio (device, source, panelfile, remove) applied to an Installation, and
// whole installation files such as Studio A's (data/studio_a.scn), which
// may also set a slot or a route before any script is there to be told,
// say how a view colours a statesheet, and include other files.

#ifndef DREZ_HOST_SCENARIO_INSTALLATION_FILE_H_
#define DREZ_HOST_SCENARIO_INSTALLATION_FILE_H_

#include <string>
#include <vector>

#include "scenario/steps.h"
#include "simulator/installation.h"

namespace drezhost {

// Each applies its step to `installation`. Throw InstallationError for what
// the installation refuses (a name taken, an unknown name, one number for
// two kinds of device).
void applyStep(Installation& installation, const steps::Device& step);
void applyStep(Installation& installation, const steps::RemoveDevice& step);
void applyStep(Installation& installation, const steps::RemovePanelFile& step);
void applyStep(Installation& installation, const steps::RemoveControl& step);
void applyStep(Installation& installation, const steps::Source& step);
void applyStep(Installation& installation, const steps::PanelFile& step);

// Builds an installation from `text`, a file (named `file` in messages, and
// whose folder an included file's path starts from) of installation steps,
// statesheet and include lines, and set and route lines, which set a slot
// or a route without delivering it. Throws ScenarioError, with the file and
// line (and the chain of includes), for a line that does not parse, any
// other step, a file that cannot be included, or a change the installation
// refuses.
Installation readInstallation(const std::string& text, const std::string& file);

// The installation file `path` as one text that readInstallation reads on
// its own, wherever it runs: each of its steps, and in place of each
// include the steps of the file it names, one a line. Throws ScenarioError
// as readInstallation does.
std::string installationFileText(const std::string& path);

// Studio A, the installation every scenario starts with, from the data file
// studio_a.scn (data_files.h).
Installation studioA();

// `installation` as an installation file that readInstallation reads back
// as the same studio: its devices under every name, source names, panel
// files with their controls, statesheet colours, and the texts of slots and
// the routes set. Each
// of `comments` heads the file as a comment line. Throws ScenarioError for
// a name or text that no scenario line can hold.
std::string writeInstallation(const Installation& installation,
                              const std::vector<std::string>& comments);

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_INSTALLATION_FILE_H_
