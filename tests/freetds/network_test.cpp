// Logins that cannot succeed, on loopback only: a port where nothing listens and a
// listener that accepts and never answers. Each must fail with a clear database error
// within the login time limit, leave nothing open and never hang.
#include "framework/db/database.h"
#include "framework/db/drivers/freetds/dblibrary.h"
#include "framework/db/drivers/freetds/tdsconnection.h"
#include "framework/text/errors.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

using db::tds::DbLibrary;
using db::tds::LoginSettings;
using db::tds::TdsConnection;

namespace {

// A loopback listener; with `accepting` it takes connections and reads whatever comes
// without ever answering, otherwise it only holds the port (closed before use).
class SilentListener {
public:
    SilentListener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
    }
    ~SilentListener() {
        m_stop = true;
        if (m_fd >= 0) {
            ::shutdown(m_fd, SHUT_RDWR);
            ::close(m_fd);
        }
        if (m_thread.joinable())
            m_thread.join();
        for (int fd : m_clients) ::close(fd);
    }
    void listenAndSwallow() {
        ::listen(m_fd, 4);
        m_thread = std::thread([this] {
            while (!m_stop) {
                const int client = ::accept(m_fd, nullptr, nullptr);
                if (client < 0)
                    return;
                ++m_accepted;
                m_clients.push_back(client);
                char buffer[4096];
                while (!m_stop && ::recv(client, buffer, sizeof buffer, 0) > 0) {
                }
            }
        });
    }
    // Frees the port so that nothing listens on it any more.
    void closeNow() {
        ::close(m_fd);
        m_fd = -1;
    }
    int port() const { return m_port; }
    int accepted() const { return m_accepted; }

private:
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::vector<int> m_clients;
    std::thread m_thread;
};

LoginSettings loopback(int port, int loginTime) {
    LoginSettings s;
    s.server = QStringLiteral("127.0.0.1:%1").arg(port);
    s.user = QStringLiteral("sa");
    s.database = QStringLiteral("Calvesteri");
    s.hostName = QStringLiteral("PC-ACCOUNTING,0012-sta4-09:41");
    s.applicationName = QStringLiteral("QEmDll");
    s.loginTime = loginTime;
    return s;
}

TEST(NetworkLogin, RefusedPortFailsAtOnceAndLeavesLibraryUnused) {
    SilentListener port;
    port.closeNow();
    const int usersBefore = DbLibrary::users();
    try {
        TdsConnection connection(loopback(port.port(), 2));
        FAIL() << "login to a closed port succeeded";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("127.0.0.1:%1").arg(port.port())))
            << e.message().toStdString();
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("无法连接数据库服务器“127.0.0.1:")))
            << e.message().toStdString();
    }
    EXPECT_EQ(DbLibrary::users(), usersBefore);
}

TEST(NetworkLogin, ListenerThatNeverAnswersTimesOutWithinLoginLimit) {
    SilentListener server;
    server.listenAndSwallow();
    try {
        TdsConnection connection(loopback(server.port(), 2));
        FAIL() << "login to a silent listener succeeded";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("在2秒的登录时限内没有应答")))
            << e.message().toStdString();
    }
    // The port in the server name was honoured: the login reached this listener, once.
    EXPECT_EQ(server.accepted(), 1);
    EXPECT_EQ(DbLibrary::users(), 0);
}

TEST(NetworkLogin, NoServerNameIsRefusedWithoutTouchingTheNetwork) {
    LoginSettings s;
    EXPECT_THROW(TdsConnection{s}, EDatabaseError);
    EXPECT_EQ(DbLibrary::users(), 0);
}

TEST(NetworkLogin, FailedOpenLeavesDatabaseClosedAndRegistered) {
    SilentListener server;
    server.listenAndSwallow();
    db::Database database(QStringLiteral("DB_Calvesteri_net"));
    database.Params().setLines({
        QStringLiteral("HOST NAME=PC-ACCOUNTING,0012-sta4-09:41"),
        QStringLiteral("PASSWORD="),
        QStringLiteral("USER NAME=sa"),
        QStringLiteral("SERVER NAME=127.0.0.1:%1").arg(server.port()),
        QStringLiteral("DATABASE NAME=Calvesteri"),
        QStringLiteral("APPLICATION NAME=QEmDll"),
        QStringLiteral("CONNECT TIMEOUT=1"),
    });
    EXPECT_THROW(database.Open(), EDatabaseError);
    EXPECT_FALSE(database.Connected());
    EXPECT_EQ(db::Session::Default().FindDatabase(QStringLiteral("db_calvesteri_NET")), &database);
    // A second attempt behaves the same: nothing was left half-open by the first.
    EXPECT_THROW(database.Open(), EDatabaseError);
    EXPECT_FALSE(database.Connected());
    EXPECT_EQ(DbLibrary::users(), 0);
}

}  // namespace
