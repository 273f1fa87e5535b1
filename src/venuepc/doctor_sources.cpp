#include "venuepc/doctor_sources.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <QDir>

#include "platform/local_status_folder.h"
#include "venuepc/program_answer.h"
#include "venuepc/share_look.h"

namespace pelm::pc {
namespace {

std::optional<std::string> outputOf(const std::string& program,
                                    const std::vector<std::string>& arguments) {
    auto answer = askProgram(program, arguments);
    if (!answer || answer->status != 0) return std::nullopt;
    return answer->output;
}

class PcSources : public DoctorSources {
public:
    UserManager& userManager() override { return *manager_; }
    std::optional<std::string> ownVariable(const std::string& name) override {
        if (!qEnvironmentVariableIsSet(name.c_str())) return std::nullopt;
        return qEnvironmentVariable(name.c_str()).toStdString();
    }
    std::filesystem::path root() override { return "/"; }
    std::filesystem::path home() override { return QDir::homePath().toStdString(); }
    std::string userName() override { return pelm::userName(getuid()); }
    uid_t userId() override { return getuid(); }
    std::optional<std::string> installedVersion() override {
        const auto shown = outputOf("dpkg-query", {"-W", "-f=${Status}|${Version}", "pelm"});
        if (!shown || shown->rfind("install ok installed|", 0) != 0) return std::nullopt;
        return shown->substr(shown->find('|') + 1);
    }
    std::optional<LocalBoard> board(const QString& folder) override {
        const auto statusFolder = existingLocalStatusFolder();
        if (!statusFolder) return std::nullopt;
        return boardOfFolder(*statusFolder, folder);
    }
    // dpkg puts a new program in place by rename: the one still running
    // then shows as deleted.
    bool programReplaced(qint64 pid) override {
        std::error_code error;
        const auto program =
            std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
        return !error && program.string().ends_with(" (deleted)");
    }
    FolderAnswer readSchedule(const std::string& nativePath) override {
        return timedRead(nativePath);
    }
    std::optional<PathFacts> look(const std::string& nativePath) override {
        return boundedLook(nativePath);
    }
    std::optional<ClockSync> clock() override { return KernelClockSync().read(); }
    std::optional<std::string> xsetQuery(const std::string& display) override {
        return outputOf("xset", {"-display", display, "q"});
    }
    std::optional<bool> desktopInhibitsIdle() override {
        const auto answer =
            outputOf("gdbus", {"call", "--session", "--dest", "org.gnome.SessionManager",
                               "--object-path", "/org/gnome/SessionManager", "--method",
                               "org.gnome.SessionManager.IsInhibited", "8"});
        if (!answer) return std::nullopt;
        return answer->find("true") != std::string::npos;
    }
    std::optional<unsigned> desktopIdleDelay() override {
        const auto answer =
            outputOf("gsettings", {"get", "org.gnome.desktop.session", "idle-delay"});
        const size_t digits = answer ? answer->find_first_of("0123456789") : std::string::npos;
        if (digits == std::string::npos) return std::nullopt;
        return static_cast<unsigned>(std::stoul(answer->substr(digits)));
    }
    std::optional<std::uint64_t> freeBytes(const std::string& folder) override {
        struct statvfs status;
        if (statvfs(folder.c_str(), &status) != 0) return std::nullopt;
        return std::uint64_t{status.f_bavail} * status.f_frsize;
    }

private:
    std::unique_ptr<UserManager> manager_ = systemctlUserManager();
};

}  // namespace

std::unique_ptr<DoctorSources> pcSources() {
    return std::make_unique<PcSources>();
}

}  // namespace pelm::pc
