// pelmctl setup's first step: the board's folder, its data folder and the
// settings the administrator named on the command line. Every other line
// of PelmDp.ini stays as it is.

#include <filesystem>

#include "engine/board_settings.h"
#include "pelmctl/command.h"
#include "pelmctl/folder_preparation.h"
#include "pelmctl/setup_steps.h"
#include "platform/codepage.h"

namespace fs = std::filesystem;

namespace pelmctl {
namespace {

constexpr char kSettings[] = "./PelmDp.ini";

// The board reads these only when it starts; the others it follows.
bool readAtStart(std::string_view key) {
    return key == "DataDir" || key == "FullScreen";
}

void setKey(std::string_view key, const std::string& value, Changes& changes) {
    pelm::IniFile settings = loadForUpdate(kSettings);
    const std::optional<pelm::Cp932> old = settings.value("Env", key);
    const pelm::Cp932 wanted = pelm::utf8ToCp932(value);
    const std::string line = std::string(key) + "=" + value;
    if (old == wanted) return report("PelmDp.ini already has " + line);
    settings.setValue("Env", key, wanted);
    save(settings, kSettings);
    report("set " + line + " in PelmDp.ini" +
           (old ? " (it was " + terminalText(*old) + ")" : std::string()));
    changes.needRestart = changes.needRestart || readAtStart(key);
}

void makeBoardFolder(const std::string& folder) {
    std::error_code error;
    if (fs::is_directory(folder, error))
        return report("the board's folder " + folder + " is there");
    fs::create_directories(folder, error);
    if (error) throw PreparationFailure{"cannot create " + folder + ": " + error.message()};
    report("created the board's folder " + folder);
}

// A data folder the settings already name is left alone: it may be a
// share that is not mounted now, and making it would hide that.
void prepareDataFolder(const SetupRequest& request, Changes& changes) {
    const auto named = loadForUpdate(kSettings).value("Env", pelm::kDataDirPlace.name);
    if (request.data) {
        setKey(pelm::kDataDirPlace.name, *request.data, changes);
        return prepareBoardFolder(*request.data, std::nullopt, "./dbengine.ini");
    }
    if (!named) return prepareBoardFolder(request.folder + "/data", std::nullopt, "./dbengine.ini");
    report("PelmDp.ini keeps DataDir=" + terminalText(*named) + "; that folder is left as it is");
}

}  // namespace

void prepareFolder(const SetupRequest& request, Changes& changes) {
    makeBoardFolder(request.folder);
    fs::current_path(request.folder);
    prepareDataFolder(request, changes);
    if (request.name) setKey("Name", *request.name, changes);
    if (request.statusDir) setKey("StatusDir", *request.statusDir, changes);
    if (request.fullScreen) setKey("FullScreen", *request.fullScreen ? "1" : "0", changes);
}

}  // namespace pelmctl
