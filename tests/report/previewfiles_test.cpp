// The preview's files named through Qt's file dialog as a user names them: 保存, 打开 and
// 导出PDF clicked on the tool bar, names typed into the dialog's name box and Enter, the
// question about replacing a file answered by its buttons' letters. The preview of a print
// run proposes the statement's name, and each kind of file opens where it was last used.
#include "framework/report/preview.h"

#include "statementdata.h"
#include "support/modalscript.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QToolBar>
#include <functional>

namespace {

using testsupport::ModalScript;
using testsupport::pressing;
using testsupport::typing;

class PreviewFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::Application::instance();
        ASSERT_TRUE(dir.isValid());
        ds = stmt::makeResult();
        stmt::addRows(*ds, 3);
        ds->Open();
    }
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    // The print run's preview, given to `use` while it is up.
    void withPreview(const std::function<void(report::Preview&)>& use) {
        setPreviewHook([&](report::Preview& p) {
            use(p);
            p.close();
        });
        RunPrint(ds.get(), QStringLiteral("全公司"), QStringLiteral("2005年03月份"), 0, 2005, 3, 7);
        setPreviewHook(nullptr);
    }
    // A click on the action's tool bar button, `answers` giving the user's answers to the
    // dialogs.
    static void click(report::Preview& p, const char* action,
                      const std::function<void(ModalScript&)>& answers) {
        ModalScript script;
        answers(script);
        auto* bar = p.findChild<QToolBar*>(QStringLiteral("tbPreview"));
        QWidget* button = bar->widgetForAction(p.findChild<QAction*>(QLatin1String(action)));
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(script.finished())
            << action << ": no dialog came for the step of " << script.waitingFor().toStdString();
    }
    static QByteArray contents(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    std::unique_ptr<testsupport::MemDataSet> ds;
};

// Before, 保存 and 导出PDF proposed no name and added the suffix after the dialog had closed,
// so "rep" typed twice replaced rep.pnlr without a question; 打开 found no "rep".
TEST_F(PreviewFilesTest, SaveAndPdfAskBeforeReplacingAndOpenFindsTheSuffixedName) {
    struct Case {
        const char* action;
        const char* proposed;
        const char* written;
    };
    const Case cases[] = {{"actSave", "出口盈亏表_2005年03月份.pnlr", "rep.pnlr"},
                          {"actExportPdf", "出口盈亏表_2005年03月份.pdf", "rep.pdf"}};
    withPreview([&](report::Preview& p) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.action);
            QString proposed, asked;
            click(p, c.action, [&](ModalScript& first) {
                first.then("QFileDialog", [&](QWidget* dialog) {
                    proposed = testsupport::fileNameBox(dialog)->text();
                    testsupport::typeFileName(dialog, path("rep"));
                });
            });
            EXPECT_EQ(proposed, QString::fromUtf8(c.proposed));
            const QByteArray written = contents(path(c.written));
            ASSERT_FALSE(written.isEmpty());
            QFile::resize(path(c.written), 10);  // a mark that a replacement would undo

            click(p, c.action, [&](ModalScript& no) {
                no.then("QFileDialog", typing(path("rep")))
                    .then("QMessageBox",
                          [&](QWidget* box) {
                              asked = static_cast<QMessageBox*>(box)->text();
                              pressing(Qt::Key_N)(box);
                          })
                    .then("QFileDialog", pressing(Qt::Key_Escape));
            });
            EXPECT_TRUE(asked.contains(QString::fromUtf8(c.written))) << asked.toStdString();
            EXPECT_EQ(QFileInfo(path(c.written)).size(), 10);

            click(p, c.action, [&](ModalScript& yes) {
                yes.then("QFileDialog", typing(path("rep")))
                    .then("QMessageBox", pressing(Qt::Key_Y));
            });
            EXPECT_EQ(contents(path(c.written)).size(), written.size());
        }
        const report::PreparedReport shown = p.prepared();

        // 打开 in the folder 保存 used, the name typed without its suffix.
        report::Preview other(report::PreparedReport{});
        other.show();
        QString folder;
        click(other, "actLoad", [&](ModalScript& open) {
            open.then("QFileDialog", [&](QWidget* dialog) {
                folder = static_cast<QFileDialog*>(dialog)->directory().absolutePath();
                testsupport::typeFileName(dialog, QStringLiteral("rep"));
            });
        });
        EXPECT_EQ(folder, QDir(dir.path()).absolutePath());
        EXPECT_TRUE(other.prepared() == shown);
        other.close();
    });
}

}  // namespace
