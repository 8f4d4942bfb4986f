// Installations written in the scenario language: the steps that describe a
// studio (device, source, panelfile, remove) applied to an Installation, and
// whole installation files such as Studio A's (data/studio_a.scn), which
// may also set a slot or a route before any script is there to be told.

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

// Builds an installation from `text`, a file (named `file` in messages) of
// installation steps and of set and route lines, which set a slot or a
// route without delivering it. Throws ScenarioError, with the file and line,
// for a line that does not parse, any other step, or a change the
// installation refuses.
Installation readInstallation(const std::string& text, const std::string& file);

// Studio A, the installation every scenario starts with, from the data file
// studio_a.scn (data_files.h).
Installation studioA();

// `installation` as an installation file that readInstallation reads back
// as the same studio: its devices under every name, source names, panel
// files with their controls, and the texts of slots and the routes set. Each
// of `comments` heads the file as a comment line. Throws ScenarioError for
// a name or text that no scenario line can hold.
std::string writeInstallation(const Installation& installation,
                              const std::vector<std::string>& comments);

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_INSTALLATION_FILE_H_
