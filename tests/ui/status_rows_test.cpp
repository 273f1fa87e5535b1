// The status file lists the rows a spectator can read, no more: a notice
// that shortens the upper area takes the lower rows off the screen and out
// of the file alike.

#include <QDir>
#include <QFile>
#include <QTableView>
#include <optional>

#include "board_fixture.h"
#include "engine/board_status.h"

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

}  // namespace
}  // namespace pelm::testing
