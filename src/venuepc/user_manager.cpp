#include "venuepc/user_manager.h"

#include <QProcess>
#include <QString>
#include <sstream>

#include "venuepc/program_answer.h"

namespace pelm::pc {
namespace {

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

class SystemctlUserManager : public UserManager {
public:
    std::string unitFileState(const std::string& unit) override {
        return word({"is-enabled", unit});
    }
    std::string activeState(const std::string& unit) override { return word({"is-active", unit}); }
    std::optional<Environment> environment() override {
        auto answer = systemctl({"show-environment"});
        if (!answer || answer->status != 0) return std::nullopt;
        Environment variables;
        std::istringstream lines(answer->output);
        for (std::string line; std::getline(lines, line);) {
            const size_t equals = line.find('=');
            if (equals != std::string::npos)
                variables[line.substr(0, equals)] = line.substr(equals + 1);
        }
        return variables;
    }
    std::string property(const std::string& unit, const std::string& name) override {
        auto answer = systemctl({"show", "-P", name, unit});
        return answer && answer->status == 0 ? firstLine(answer->output) : std::string();
    }
    std::optional<std::string> run(const std::vector<std::string>& words) override {
        auto answer = systemctl(words);
        if (!answer) return "systemctl --user did not answer";
        if (answer->status == 0) return std::nullopt;
        return firstLine(answer->errors.empty() ? answer->output : answer->errors);
    }

private:
    static std::optional<ProgramAnswer> systemctl(std::vector<std::string> words) {
        words.insert(words.begin(), "--user");
        return askProgram("systemctl", words);
    }
    // is-enabled and is-active print their word whatever their status; a
    // manager that cannot be reached prints nothing on standard output.
    static std::string word(const std::vector<std::string>& words) {
        auto answer = systemctl(words);
        return answer ? firstLine(answer->output) : std::string();
    }
};

}  // namespace

std::unique_ptr<UserManager> systemctlUserManager() {
    return std::make_unique<SystemctlUserManager>();
}

bool unitInstalled(UserManager& manager, const std::string& unit) {
    const std::string state = manager.unitFileState(unit);
    return !state.empty() && state != "not-found";
}

Environment unitEnvironment(const std::string& shown) {
    Environment variables;
    for (const QString& word : QProcess::splitCommand(QString::fromStdString(shown))) {
        const qsizetype equals = word.indexOf('=');
        if (equals > 0)
            variables[word.left(equals).toStdString()] = word.mid(equals + 1).toStdString();
    }
    return variables;
}

}  // namespace pelm::pc
