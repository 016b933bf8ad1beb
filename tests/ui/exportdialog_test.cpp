// The statement's exports named through Qt's file dialog as a user names them: Ctrl+E or
// Ctrl+Shift+E on the grid, a name typed into the dialog's name box and Enter, the question
// about replacing a file answered by its buttons' letters. The written name always carries
// its format's suffix, the question is asked about that name, and each kind of export opens
// in the folder it was last written to, the CSV dialog with the encoding last chosen.
#include "framework/grid/dbgrid.h"
#include "keyboard.h"
#include "modalscript.h"
#include "ui/frmmain.h"
#include "windowenv.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <functional>

#include <gtest/gtest.h>

namespace {

using testsupport::ModalScript;
using testsupport::pressing;
using testsupport::typing;
using windowtest::WindowEnv;

class ExportDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        env.setClock("2024-03-15 10:00:00");
        env.setCompany(QStringLiteral("泰沃"));
        env.setCwYears(2003, 2006);
        env.setRows({{QStringLiteral("A1"), QString(), QStringLiteral("10")}});
        env.connect();
        w = env.openWindow();
        ASSERT_TRUE(env.errors().isEmpty()) << env.errors().join(QLatin1Char('\n')).toStdString();
        ASSERT_TRUE(tmp.isValid());
    }
    QString path(const QString& name) const { return QDir(tmp.path()).filePath(name); }
    // Ctrl+E (workbook) or Ctrl+Shift+E (CSV) on the grid, `answers` giving the user's
    // answers to the dialogs.
    void exportThrough(bool excel, const std::function<void(ModalScript&)>& answers) {
        ModalScript script;
        answers(script);
        testsupport::pressKeys(
            w->DBGridEh1, {Qt::Key_E},
            excel ? Qt::ControlModifier : Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_TRUE(script.finished())
            << "no dialog came for the step of " << script.waitingFor().toStdString();
        EXPECT_TRUE(env.errors().isEmpty()) << env.errors().join(QLatin1Char('\n')).toStdString();
    }
    QStringList files() const { return QDir(tmp.path()).entryList(QDir::Files, QDir::Name); }
    static QByteArray contents(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    WindowEnv env;
    Tfrmmain* w = nullptr;
    QTemporaryDir tmp;
};

// Before, the suffix was added after the dialog had closed: "x.csv" typed in 导出Excel was
// written as x.csv, a workbook under a CSV name.
TEST_F(ExportDialogTest, TheWrittenFileCarriesItsFormatsSuffix) {
    struct Case {
        bool excel;
        const char* typed;
        const char* written;
    };
    const Case cases[] = {
        {true, "plain", "plain.xlsx"}, {true, "other.csv", "other.csv.xlsx"},
        {true, "dot.", "dot.xlsx"},    {true, "upper.XLSX", "upper.XLSX"},
        {false, "plain", "plain.csv"}, {false, "book.xlsx", "book.xlsx.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        exportThrough(c.excel, [&](ModalScript& s) {
            s.then("QFileDialog", typing(path(QString::fromUtf8(c.typed))));
        });
        EXPECT_TRUE(QFile::exists(path(QString::fromUtf8(c.written))));
        if (qstrcmp(c.typed, c.written) != 0) {
            EXPECT_FALSE(QFile::exists(path(QString::fromUtf8(c.typed))))
                << "nothing under the typed name";
        }
    }
    EXPECT_EQ(files().size(), 6);

    // A folder typed is gone into, not given a suffix; the name typed there is written there.
    ASSERT_TRUE(QDir(tmp.path()).mkpath(QStringLiteral("sub")));
    exportThrough(true, [&](ModalScript& s) {
        s.then("QFileDialog", [&](QWidget* dialog) {
            testsupport::typeFileName(dialog, path(QStringLiteral("sub")));
            testsupport::typeFileName(dialog, QStringLiteral("inside"));
        });
    });
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("sub/inside.xlsx"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("sub.xlsx"))));
}

// Before, the dialog checked the name as typed ("exp1", which does not exist) and the export
// then replaced exp1.xlsx without a question.
TEST_F(ExportDialogTest, ReplacingAFileIsAskedAboutByTheNameWritten) {
    for (const bool excel : {true, false}) {
        const QString written =
            path(excel ? QStringLiteral("exp1.xlsx") : QStringLiteral("exp1.csv"));
        SCOPED_TRACE(written.toStdString());
        QFile old(written);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("kept");
        old.close();

        QString asked;
        exportThrough(excel, [&](ModalScript& no) {
            no.then("QFileDialog", typing(path(QStringLiteral("exp1"))))
                .then("QMessageBox",
                      [&asked](QWidget* box) {
                          asked = static_cast<QMessageBox*>(box)->text();
                          pressing(Qt::Key_N)(box);
                      })
                .then("QFileDialog", pressing(Qt::Key_Escape));  // No leaves the dialog open
        });
        EXPECT_TRUE(asked.contains(QFileInfo(written).fileName())) << asked.toStdString();
        EXPECT_EQ(contents(written), QByteArray("kept"));

        exportThrough(excel, [&](ModalScript& yes) {
            yes.then("QFileDialog", typing(path(QStringLiteral("exp1"))))
                .then("QMessageBox", pressing(Qt::Key_Y));
        });
        EXPECT_NE(contents(written), QByteArray("kept"));
        EXPECT_TRUE(
            contents(written).startsWith(excel ? QByteArray("PK") : QByteArray("\xEF\xBB\xBF")));
    }
}

// Before, every dialog opened in the home folder, and the CSV dialog on UTF-8 each time.
TEST_F(ExportDialogTest, EachKindOpensInItsLastFolderAndCsvKeepsItsEncoding) {
    ASSERT_TRUE(QDir(tmp.path()).mkpath(QStringLiteral("books")));
    ASSERT_TRUE(QDir(tmp.path()).mkpath(QStringLiteral("lists")));
    const QString books = path(QStringLiteral("books"));
    const QString lists = path(QStringLiteral("lists"));
    const QString gbk = QStringLiteral("CSV 文件，GBK (*.csv)");

    exportThrough(
        true, [&](ModalScript& s) { s.then("QFileDialog", typing(books + QStringLiteral("/a"))); });
    exportThrough(false, [&](ModalScript& s) {
        s.then("QFileDialog", [&](QWidget* dialog) {
            // The encoding is the file type the user picks, by keys in its box.
            testsupport::pressKeys(dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")),
                                   {Qt::Key_Down});
            testsupport::typeFileName(dialog, lists + QStringLiteral("/b"));
        });
    });

    QString bookFolder, bookName, listFolder, listName, listFilter;
    exportThrough(true, [&](ModalScript& s) {
        s.then("QFileDialog", [&](QWidget* dialog) {
            bookFolder = static_cast<QFileDialog*>(dialog)->directory().absolutePath();
            bookName = testsupport::fileNameBox(dialog)->text();
            pressing(Qt::Key_Escape)(dialog);
        });
    });
    exportThrough(false, [&](ModalScript& s) {
        s.then("QFileDialog", [&](QWidget* dialog) {
            listFolder = static_cast<QFileDialog*>(dialog)->directory().absolutePath();
            listName = testsupport::fileNameBox(dialog)->text();
            listFilter = static_cast<QFileDialog*>(dialog)->selectedNameFilter();
            testsupport::typeFileName(dialog, QStringLiteral("c"));  // in the folder it shows
        });
    });
    EXPECT_EQ(bookFolder, QDir(books).absolutePath());
    EXPECT_EQ(bookName, QStringLiteral("出口盈亏表_2024年03月份.xlsx"));
    EXPECT_EQ(listFolder, QDir(lists).absolutePath());
    EXPECT_EQ(listName, QStringLiteral("出口盈亏表_2024年03月份.csv"));
    EXPECT_EQ(listFilter, gbk);
    EXPECT_TRUE(contents(lists + QStringLiteral("/b.csv")).startsWith("\xCC\xA9\xCE\xD6--"))
        << "泰沃 in GBK";
    EXPECT_TRUE(contents(lists + QStringLiteral("/c.csv")).startsWith("\xCC\xA9\xCE\xD6--"));
}

}  // namespace
