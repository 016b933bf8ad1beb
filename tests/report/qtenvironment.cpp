// One QApplication for the whole test program: made before the library's application object
// looks for one, and destroyed when the tests end, before the process's static destruction
// (a QApplication torn down from an exit handler crashes in Qt's own clean-up).
#include <gtest/gtest.h>
#include <QApplication>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance() == nullptr)
            m_app = new QApplication(m_argc, m_argv);
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
    }

private:
    int m_argc = 1;
    char m_name[16] = "report_tests";
    char* m_argv[2] = {m_name, nullptr};
    QApplication* m_app = nullptr;
};

[[maybe_unused]] ::testing::Environment* const g_env =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
