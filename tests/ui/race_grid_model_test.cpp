// The grid's model over result sets: columns by field name, one blank row
// when there is nothing to show, stateless decoding per field, and sound
// model behaviour while a new result set arrives at every refresh.

#include "ui/race_grid_model.h"

#include <QAbstractItemModelTester>
#include <QScrollBar>

#include "board_fixture.h"
#include "platform/codepage.h"

namespace pelm::testing {
namespace {

std::shared_ptr<const ResultSet> races(int count) {
    auto result = std::make_shared<ResultSet>();
    result->columns = {"btime", "kara", "etime", "rmenu", "stime"};
    for (int race = 0; race < count; ++race) {
        result->rows.push_back({Cp932(std::to_string(10 + race) + ":00:00"), cp932Ascii("-"),
                                Cp932(std::to_string(10 + race) + ":30:00"),
                                utf8ToCp932("第" + std::to_string(race + 1) + "レース"),
                                std::nullopt});
    }
    return result;
}

TEST(RaceGridModel, BeforeTheFirstRefreshShowsTitlesAndOneBlankRow) {
    BoardLife life;
    TForm1 form(life);
    const RaceGridModel& model = gridRows(form);
    EXPECT_FALSE(model.isOpen());
    ASSERT_EQ(model.rowCount(), 1);
    ASSERT_EQ(model.columnCount(), 5);
    const char* titles[] = {"btime", "kara", "etime", "", "rmenu"};
    for (int column = 0; column < 5; ++column) {
        EXPECT_EQ(model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(),
                  titles[column]);
        EXPECT_EQ(model.index(0, column).data().toString(), "");
    }
    EXPECT_EQ(component<ScheduleGrid>(form, "DBGrid1").verticalScrollBarPolicy(),
              Qt::ScrollBarAlwaysOff);
    form.showUpcoming(races(0));
    EXPECT_EQ(model.rowCount(), 1);  // an empty selection keeps the blank row
    EXPECT_EQ(component<ScheduleGrid>(form, "DBGrid1").verticalScrollBarPolicy(),
              Qt::ScrollBarAlwaysOn);
}

TEST(RaceGridModel, TimesAlignRightAndTheRestLeft) {
    RaceGridModel model;
    model.setResultSet(races(1));
    const auto alignment = [&](int column) {
        return Qt::Alignment(model.index(0, column).data(Qt::TextAlignmentRole).toInt());
    };
    EXPECT_TRUE(alignment(0).testFlag(Qt::AlignRight));
    EXPECT_TRUE(alignment(1).testFlag(Qt::AlignLeft));
    EXPECT_TRUE(alignment(2).testFlag(Qt::AlignRight));
    EXPECT_TRUE(alignment(4).testFlag(Qt::AlignLeft));
    EXPECT_FALSE(model.flags(model.index(0, 4)).testFlag(Qt::ItemIsEditable));
}

TEST(RaceGridModel, FindsFieldsByNameAndDecodesEachOnItsOwn) {
    auto result = std::make_shared<ResultSet>();
    result->columns = {"RMENU", "etime", "kara"};  // no btime, another order
    // A title cut inside a double-byte character, then a clean field.
    result->rows.push_back({Cp932("\x82\xa0\x82"), cp932Ascii("9:05:07"), cp932Ascii("-")});
    result->rows.push_back({std::nullopt, cp932Ascii("9:30:00"), cp932Ascii("-")});
    RaceGridModel model;
    model.setResultSet(result);
    EXPECT_EQ(model.index(0, 4).data().toString(), "あ");
    EXPECT_EQ(model.index(0, 2).data().toString(), "9:05:07");
    EXPECT_EQ(model.index(0, 1).data().toString(), "-");
    EXPECT_EQ(model.index(0, 0).data().toString(), "");
    EXPECT_EQ(model.index(1, 4).data().toString(), "");
}

QStringList* capturedWarnings = nullptr;

void captureWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && capturedWarnings) capturedWarnings->append(message);
}

TEST(RaceGridModel, StaysASoundModelWhileEveryRefreshReplacesItsRows) {
    QStringList warnings;
    capturedWarnings = &warnings;
    const QtMessageHandler previous = qInstallMessageHandler(captureWarnings);
    {
        BoardLife life;
        TForm1 form(life);
        QAbstractItemModelTester tester(&component<RaceGridModel>(form, "DSmenu"),
                                        QAbstractItemModelTester::FailureReportingMode::Warning);
        const int sizes[] = {3, 3, 10, 0, 1, 12, 2, 0, 9};
        for (int size : sizes) {
            form.showUpcoming(races(size));
            EXPECT_EQ(gridRows(form).rowCount(), std::max(1, size));
            if (size == 0) continue;
            EXPECT_EQ(gridRows(form).index(size - 1, 0).data().toString().toStdString(),
                      std::to_string(9 + size) + ":00:00");
        }
    }
    qInstallMessageHandler(previous);
    capturedWarnings = nullptr;
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("\n").toStdString();
}

TEST(RaceGridModel, TheSameRowsAgainGoBackToRowOneWithoutARepaintOfEverything) {
    RaceGridModel model;
    int resets = 0, reopenings = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(&model, &RaceGridModel::reopened, [&] { ++reopenings; });
    model.setResultSet(races(3));
    model.setResultSet(races(3));  // a new result set of the same rows
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(reopenings, 2);
    model.setResultSet(races(4));
    EXPECT_EQ(resets, 2);
    EXPECT_EQ(model.rowCount(), 4);
}

TEST(RaceGridModel, AChangedRaceAnnouncesItsChangedCellsAlone) {
    RaceGridModel model;
    model.setResultSet(races(3));
    QList<QModelIndex> changed;
    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& from, const QModelIndex& to) {
                         EXPECT_EQ(from, to) << "a range makes a view repaint all of itself";
                         changed.append(from);
                     });
    auto renamed = std::make_shared<ResultSet>(*races(3));
    renamed->rows[1][3] = utf8ToCp932("第2レース 変更");
    model.setResultSet(renamed);
    EXPECT_EQ(resets, 0);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0].row(), 1);
    EXPECT_EQ(changed[0].data().toString(), QString::fromUtf8("第2レース 変更"));
}

}  // namespace
}  // namespace pelm::testing
