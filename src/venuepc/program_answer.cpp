#include "venuepc/program_answer.h"

#include <QProcess>
#include <QStringList>

namespace pelm::pc {

std::optional<ProgramAnswer> askProgram(const std::string& program,
                                        const std::vector<std::string>& arguments,
                                        std::chrono::milliseconds deadline) {
    QStringList words;
    for (const std::string& argument : arguments) words << QString::fromStdString(argument);
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QString::fromStdString(program), words);
    const int ms = static_cast<int>(deadline.count());
    if (!process.waitForStarted(ms)) return std::nullopt;
    if (!process.waitForFinished(ms)) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit) return std::nullopt;
    return ProgramAnswer{process.exitCode(), process.readAllStandardOutput().toStdString(),
                         process.readAllStandardError().toStdString()};
}

}  // namespace pelm::pc
