// The status file lists the rows a spectator can read, no more and no
// other: a notice that shortens the upper area takes the lower rows off the
// screen and out of the file alike, and a refresh that stops half way
// leaves the file with the rows it left on screen.

#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QTableView>
#include <filesystem>
#include <fstream>
#include <optional>

#include "board_fixture.h"
#include "engine/board_connection.h"
#include "engine/board_status.h"
#include "engine/race_table_file.h"
#include "sqlengine/query.h"

namespace pelm::testing {
namespace {

class StatusRows : public BoardTest {
protected:
    std::optional<BoardStatus> status() const {
        const QDir folder(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/pelm");
        for (const QString& name : folder.entryList({"board-*.json"}, QDir::Files)) {
            QFile file(folder.filePath(name));
            if (!file.open(QIODevice::ReadOnly)) continue;
            std::optional<BoardStatus> read = parseStatus(file.readAll());
            if (read && read->workingFolder == QDir::currentPath()) return read;
        }
        return std::nullopt;
    }

    // Rows whose start time shows on screen: light pixels in the row's band
    // of the start column, in the upper area as drawn (the grid's own area;
    // below it lies the notice).
    int rowsPainted() const {
        const QImage shot = upperArea();
        const QWidget& upper = component(*form, "Panel10");
        auto& grid = component<QTableView>(*form, "DBGrid1");
        int painted = 0;
        for (int row = 0; row < grid.model()->rowCount(); ++row) {
            const QRect cell = grid.visualRect(grid.model()->index(row, 0));
            const QRect band(grid.viewport()->mapTo(&upper, cell.topLeft()), cell.size());
            bool light = false;
            for (int y = band.top(); y <= band.bottom() && !light; ++y)
                for (int x = band.left(); x <= band.right() && !light; ++x)
                    light = shot.rect().contains(x, y) && qGray(shot.pixel(x, y)) > 128;
            painted += light;
        }
        return painted;
    }
};

TEST_F(StatusRows, AreTheRowsPaintedWithAndWithoutANotice) {
    writeSettings();
    std::string schedule;
    for (int race = 1; race <= 14; ++race)
        schedule += "11:" + std::to_string(10 + race) + ":00,11:" + std::to_string(11 + race) +
                    ":00,R" + std::to_string(race) + "\r\n";
    writeSchedule(schedule);
    writeNotice("");
    showAndRefresh();
    std::optional<BoardStatus> without = status();
    ASSERT_TRUE(without);
    const int paintedWithout = rowsPainted();
    EXPECT_EQ(without->rows.size(), paintedWithout);

    writeNotice("本日は晴天なり\r\n");
    form->Timer1Timer();
    std::optional<BoardStatus> with = status();
    ASSERT_TRUE(with);
    EXPECT_EQ(with->rows.size(), rowsPainted());
    EXPECT_LT(with->rows.size(), paintedWithout);  // the notice did take rows away
}

// A small file system of its own for the race table, which a filler file
// can fill: a venue PC's disk, full. Mounting takes root, as the suite runs.
class SmallTableFolder {
public:
    explicit SmallTableFolder(const std::filesystem::path& folder) : folder_(folder) {
        std::filesystem::create_directory(folder_);
        mounted_ = mount("tmpfs", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k") == 0;
        if (mounted_) createRaceTableFile(folder_.string());
    }
    ~SmallTableFolder() {
        if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::filesystem::path& path() const { return folder_; }
    void fill() const {
        std::ofstream filler(folder_ / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), block.size())) {
        }
    }

private:
    std::filesystem::path folder_;
    bool mounted_ = false;
};

// A refresh that stops half way through a schedule change: the new rows
// went up before the race table's commit failed, and the status must not go
// on telling the venue the old ones. A table folder that is full ("database
// or disk is full") stops it there, and so does a table another program
// holds (a reader, as a backup tool or `sqlite3` would).
TEST_F(StatusRows, AreThePaintedRowsWhenARefreshStopsAtTheTablesCommit) {
    for (const bool full : {true, false}) {
        SCOPED_TRACE(full ? "table folder full" : "table held by a reader");
        const SmallTableFolder table(folder.root().path() / (full ? "full" : "held"));
        ASSERT_TRUE(table.mounted()) << "mounting a small file system takes root";
        writeSettings("Logo=on\r\nTableDir=" + table.path().string() + "\r\n");
        writeSchedule("11:00:00,11:30:00,R1\r\n11:30:00,12:00:00,R2\r\n");
        writeNotice("");
        showAndRefresh();
        std::unique_ptr<Database> reader = connectBoardDatabase(utf8ToCp932(table.path().string()));
        Query holding(*reader, "holding");
        if (full) {
            table.fill();
        } else {
            holding.addLine(AsciiLiteral("BEGIN"));
            holding.execute();
            holding.clear();
            holding.addLine(AsciiLiteral("SELECT * FROM rmenutxt"));
            holding.open();
        }
        std::string day;  // enough new rows that the table must grow
        for (int race = 0; race < 300; ++race)
            day += "11:" + std::to_string(10 + race % 40) + ":00,12:00:00,新" +
                   std::to_string(race) + " " + std::string(30, 'x') + "\r\n";
        writeSchedule(day);
        form->Timer1Timer();

        std::optional<BoardStatus> after = status();
        ASSERT_TRUE(after);
        ASSERT_TRUE(after->error) << "the refresh did stop at the commit";
        EXPECT_EQ(after->rows.size(), rowsPainted());
        QStringList onScreen, inStatus;
        for (int row = 0; row < rowsPainted(); ++row)
            onScreen << gridRows(*form).index(row, 4).data().toString();  // rmenu
        for (const ShownRace& race : after->rows) inStatus << race.title;
        EXPECT_EQ(inStatus, onScreen);
        form.reset();
    }
}

}  // namespace
}  // namespace pelm::testing
