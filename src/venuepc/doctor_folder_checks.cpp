// The folders the board uses: the data folder answering and how fast, the
// writer's share mounted the way the guide asks, the status folder taking
// the board's copies, and room for the race table.

#include <QDateTime>

#include "engine/schedule.h"
#include "platform/codepage.h"
#include "platform/local_status_folder.h"
#include "platform/paths.h"
#include "venuepc/config_files.h"
#include "venuepc/doctor_checks.h"
#include "venuepc/share_mount.h"

namespace pelm::pc {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

// A read slower than a refresh leaves the board behind its own clock.
constexpr milliseconds kSlowRead{250};
constexpr std::uint64_t kLeastFreeBytes = 64ull << 20;
// A running board rewrites its status copy every second.
constexpr qint64 kFreshCopyMs = 5000;

std::string dataFolder(const Survey& survey) {
    return boardFolderPath(survey.place, survey.place.settings.dataDir);
}

// Without a settings file the board's data folder is a Windows path that
// exists nowhere: there is nothing to look at.
Check noSettings(const Survey& survey, const std::string& name, Verdict verdict) {
    return {name, verdict, "no PelmDp.ini in " + survey.place.folder.toStdString(), "pelmctl setup",
            false};
}

std::string inFolder(const Survey& survey, const std::string& command) {
    return "cd " + quoted(survey.place.folder.toStdString()) + " && " + command;
}

std::optional<Mount> mountOf(const Survey& survey, const std::string& folder) {
    const auto mountinfo = readConfig(survey.sources.root(), "/proc/self/mountinfo");
    if (!mountinfo) return std::nullopt;
    return mountHolding(folder, *mountinfo);
}

std::optional<Mount> dataMount(const Survey& survey) {
    return mountOf(survey, dataFolder(survey));
}

std::string tookText(milliseconds took) {
    return std::to_string(took.count()) + " ms";
}

// "//writer-pc/pelm" and "writer-pc:/export" name the server first.
std::string serverOf(const Mount& mount) {
    const std::string source =
        mount.source.rfind("//", 0) == 0 ? mount.source.substr(2) : mount.source;
    return source.substr(0, source.find_first_of("/:"));
}

// A share that stopped answering is mounted again once its server is back;
// a lazy unmount never waits for the stalled one.
Check stalled(const std::string& folder, const std::optional<Mount>& mount) {
    const std::string detail =
        folder + " stalled, no answer within 1 s: the board shows 未接続 after 3 s";
    if (!mount || !isShare(*mount)) return fail("data-folder", detail, "ls " + quoted(folder));
    return fail("data-folder", detail,
                "umount -l " + quoted(mount->point) + "; mount " + quoted(mount->point), true);
}

Check copyFreshness(Survey& survey, const std::string& folder, const PathFacts& facts) {
    const std::string name = "status-folder";
    const QString host = survey.board->status.host, key = boardKey(survey.place.folder);
    const auto copy = survey.sources.look(folder + "/" + venueStatusName(host, key).toStdString());
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (copy && copy->kind == PathFacts::Kind::RegularFile &&
        now - copy->stamp.modifiedNs / 1000000 <= kFreshCopyMs)
        return ok(name, folder + " takes the board's copy (written " +
                            std::to_string((now - copy->stamp.modifiedNs / 1000000) / 1000) +
                            " s ago)");
    const std::string user = survey.sources.userName();
    const bool others = facts.owner != survey.sources.userId();
    return fail(name,
                "the board's copy in " + folder +
                    " is not being written: the folder does "
                    "not take the board's files",
                others ? "chown " + user + " " + quoted(folder) : "chmod u+w " + quoted(folder),
                others);
}

}  // namespace

Check checkDataFolder(Survey& survey) {
    const std::string name = "data-folder", folder = dataFolder(survey);
    if (!survey.place.hasSettings) return noSettings(survey, name, Verdict::Fail);
    const FolderAnswer answer = survey.sources.readSchedule(folder + "/" + kScheduleFileName);
    const auto mount = dataMount(survey);
    if (!answer.answered) return stalled(folder, mount);
    const std::string on = mount ? " (" + mount->type + ")" : "";
    if (answer.status == FileBytes::Status::Missing)
        return fail(name,
                    folder + " has no RInfo.txt (answered in " + tookText(answer.took) +
                        "): the board shows 未接続",
                    inFolder(survey, "pelmctl init " + quoted(folder)));
    if (answer.status != FileBytes::Status::Read)
        return fail(name, folder + "/RInfo.txt cannot be read as a file: the board shows 未接続",
                    "ls -l " + quoted(folder + "/RInfo.txt"));
    if (answer.took > kSlowRead)
        return fail(
            name,
            folder + on + " answered in " + tookText(answer.took) +
                ", slower than a refresh (250 ms)",
            mount && isShare(*mount) ? "ping -c 3 " + serverOf(*mount) : "ls " + quoted(folder));
    return ok(name, folder + on + " answered in " + tookText(answer.took));
}

Check checkShareMount(Survey& survey) {
    const std::string name = "share-mount", folder = dataFolder(survey);
    if (!survey.place.hasSettings) return noSettings(survey, name, Verdict::Unknown);
    const auto mount = dataMount(survey);
    if (!mount) return unknown(name, "the mounts cannot be read", "cat /proc/self/mountinfo");
    if (!isShare(*mount))
        return ok(name, folder + " is on a local disk (" + mount->type + "): no share");
    if (isFuse(*mount))
        return fail(name,
                    folder + " is a " + mount->type +
                        " mount (a desktop's connect to "
                        "server): a stalled call on it cannot "
                        "be interrupted",
                    "mount the share from /etc/fstab as the writer's share guide says "
                    "(/usr/share/doc/pelm/docs/)",
                    true);
    const auto fstab =
        fstabOptions(mount->point, readConfig(survey.sources.root(), "/etc/fstab").value_or(""));
    const std::vector<std::string> missing = missingShareOptions(*mount, fstab);
    if (missing.empty())
        return ok(name, mount->source + " on " + mount->point + " has the options it needs");
    std::string lacking;
    for (const std::string& option : missing) lacking += (lacking.empty() ? "" : ",") + option;
    return fail(name, mount->source + " on " + mount->point + " lacks " + lacking,
                fstab ? fstabMendCommand(mount->point, missing)
                      : fstabLineCommand(*mount, survey.sources.userName()),
                true);
}

Check checkStatusFolder(Survey& survey) {
    const std::string name = "status-folder";
    const std::string folder = boardFolderPath(survey.place, survey.place.settings.statusDir);
    if (folder.empty()) return ok(name, "no StatusDir: the board reports only on this PC");
    const auto facts = survey.sources.look(folder);
    if (!facts) return fail(name, folder + " stalled: it does not answer", "ls " + quoted(folder));
    if (facts->kind == PathFacts::Kind::Nothing)
        return fail(name, folder + " does not exist", "mkdir -p " + quoted(folder));
    if (facts->kind != PathFacts::Kind::Folder)
        return fail(name, folder + " is no folder", "ls -ld " + quoted(folder));
    if (!survey.runningPid())
        return unknown(name, "no board runs to write into " + folder, startCommand(survey));
    return copyFreshness(survey, folder, *facts);
}

Check checkFreeSpace(Survey& survey) {
    const std::string name = "free-space";
    if (!survey.place.hasSettings) return noSettings(survey, name, Verdict::Unknown);
    const std::string folder =
        boardFolderPath(survey.place, survey.place.settings.raceTableFolder());
    const auto mount = mountOf(survey, folder);
    if (mount && isShare(*mount))
        return fail(name,
                    "the race table's folder " + folder + " is on a share (" + mount->type +
                        "): rebuilt four times a second, it belongs on a local disk",
                    inFolder(survey, "pelmctl init " + quoted(dataFolder(survey)) +
                                         " --table-dir ~/pelm/table"));
    const auto free = survey.sources.freeBytes(folder);
    if (!free)
        return unknown(name, "the race table's folder " + folder + " cannot be looked at",
                       "ls -ld " + quoted(folder));
    const std::string mib = std::to_string(*free >> 20) + " MiB";
    if (*free < kLeastFreeBytes)
        return fail(name, "only " + mib + " free for the race table in " + folder,
                    "df -h " + quoted(folder));
    return ok(name, mib + " free for the race table in " + folder);
}

}  // namespace pelm::pc
