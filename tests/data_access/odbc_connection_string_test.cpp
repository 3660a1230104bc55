// Which connection strings go through ODBC and the ODBC strings they become: MSDASQL and plain ODBC
// strings as they stand, the classic Transact-SQL and Oracle OLE DB strings rewritten for the FreeTDS
// and Oracle drivers, the password masked for display, and a missing driver named in the error.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>

#include "data_access/providers/odbc/odbc_connection_string.h"
#include "data_access/test_database.h"

namespace orvan::data::testing {
namespace {

using com::ComError;

OdbcDriverSettings drivers(std::vector<std::string> installed, std::string tds = {}, std::string oracle = {}) {
    OdbcDriverSettings d;
    d.installed = std::move(installed);
    d.tdsDriver = std::move(tds);
    d.oracleDriver = std::move(oracle);
    return d;
}

TEST(OdbcConnectionString, ProvidersThatGoThroughOdbc) {
    struct Case {
        const char* text;
        bool odbc;
    };
    const Case cases[] = {
        {"Provider=MSDASQL;DSN=agenda", true},
        {"Provider=MSDASQL.1;Driver={PostgreSQL Unicode};Server=x", true},
        {"DSN=agenda;UID=u", true},
        {"Driver={SQLite3};Database=/tmp/a.db", true},
        {"FILEDSN=/etc/agenda.dsn", true},
        {"Provider=SQLOLEDB;Data Source=db1", true},
        {"Provider=SQLOLEDB.1;Data Source=db1", true},
        {"Provider=SQLNCLI11;Data Source=db1", true},
        {"Provider=SQLNCLI;Data Source=db1", true},
        {"Provider=MSOLEDBSQL;Data Source=db1", true},
        {"Provider=MSOLEDBSQL19;Data Source=db1", true},
        {"Provider=MSDAORA;Data Source=orcl", true},
        {"Provider=OraOLEDB.Oracle;Data Source=orcl", true},
        {"Provider=OraOLEDB.Oracle.1;Data Source=orcl", true},
        {"Provider=SQLite;Data Source=a.db", false},
        {"Provider=PostgreSQL;Host=x", false},
        {"Provider=Oracle;Data Source=x", false},
        {"Data Source=x.db", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(isOdbcConnection(ConnectionString::parse(c.text)), c.odbc) << c.text;
}

TEST(OdbcConnectionString, TranslationTable) {
    const OdbcDriverSettings installed = drivers({"FreeTDS", "PostgreSQL Unicode", "Oracle 21 ODBC driver"});
    struct Case {
        const char* text;
        const char* odbc;    // what the driver manager receives
        const char* masked;  // what explain-connection shows
        const char* route;
    };
    const Case cases[] = {
        // The example a site's configuration holds for its Transact-SQL server.
        {"Provider=SQLOLEDB;Data Source=db1,1433;Initial Catalog=agenda;User ID=web;Password=x",
         "DRIVER={FreeTDS};SERVER=db1;PORT=1433;DATABASE=agenda;UID=web;PWD=x;TDS_Version=7.4",
         "DRIVER={FreeTDS};SERVER=db1;PORT=1433;DATABASE=agenda;UID=web;PWD=****;TDS_Version=7.4", "FreeTDS"},
        // tcp: prefix, no port, a password that needs braces, a TDS version of its own.
        {"Provider=SQLNCLI11;Data Source=tcp:db2.example;Initial Catalog=agenda;User ID=web;"
         "Password='a;b}c';TDS_Version=7.3",
         "DRIVER={FreeTDS};SERVER=db2.example;DATABASE=agenda;UID=web;PWD={a;b}}c};TDS_Version=7.3",
         "DRIVER={FreeTDS};SERVER=db2.example;DATABASE=agenda;UID=web;PWD=****;TDS_Version=7.3", "FreeTDS"},
        // The local server, with a named instance; integrated security drops user and password.
        {"Provider=MSOLEDBSQL;Data Source=(local)\\SQLEXPRESS;Integrated Security=SSPI;User ID=x;Password=y",
         "DRIVER={FreeTDS};SERVER=localhost\\SQLEXPRESS;Trusted_Connection=Yes;TDS_Version=7.4",
         "DRIVER={FreeTDS};SERVER=localhost\\SQLEXPRESS;Trusted_Connection=Yes;TDS_Version=7.4", "FreeTDS"},
        {"Provider=SQLOLEDB;Data Source=.;Initial Catalog=a;Application Name=Agenda;Workstation ID=w1",
         "DRIVER={FreeTDS};SERVER=localhost;DATABASE=a;APP=Agenda;WSID=w1;TDS_Version=7.4",
         "DRIVER={FreeTDS};SERVER=localhost;DATABASE=a;APP=Agenda;WSID=w1;TDS_Version=7.4", "FreeTDS"},
        // Oracle: the first installed driver with Oracle in its name, the TNS name as DBQ.
        {"Provider=OraOLEDB.Oracle;Data Source=ORCL;User ID=agenda;Password=p",
         "DRIVER={Oracle 21 ODBC driver};DBQ=ORCL;UID=agenda;PWD=p",
         "DRIVER={Oracle 21 ODBC driver};DBQ=ORCL;UID=agenda;PWD=****", "Oracle"},
        {"Provider=MSDAORA;Data Source=db3:1521/agenda;User ID=agenda",
         "DRIVER={Oracle 21 ODBC driver};DBQ=db3:1521/agenda;UID=agenda",
         "DRIVER={Oracle 21 ODBC driver};DBQ=db3:1521/agenda;UID=agenda", "Oracle"},
        // MSDASQL: the OLE DB names of the data source, user and password read as the ODBC ones;
        // OLE DB-only keys left out; Extended Properties merged in.
        {"Provider=MSDASQL;Data Source=agenda;User ID=web;Password=x;Persist Security Info=False",
         "DSN=agenda;PWD=x;UID=web", "DSN=agenda;PWD=****;UID=web", "MSDASQL"},
        {"Provider=MSDASQL.1;Extended Properties=\"DSN=agenda;UID=web;PWD=x\"", "DSN=agenda;PWD=x;UID=web",
         "DSN=agenda;PWD=****;UID=web", "MSDASQL"},
        {"Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=db1;Port=5432;Database=agenda;UID=web;PWD=x",
         "DRIVER={PostgreSQL Unicode};DATABASE=agenda;PORT=5432;PWD=x;SERVER=db1;UID=web",
         "DRIVER={PostgreSQL Unicode};DATABASE=agenda;PORT=5432;PWD=****;SERVER=db1;UID=web", "MSDASQL"},
        // No Provider: the ODBC string as it stands (driver-specific keys included).
        {"Driver={SQLite3};Database=/tmp/agenda db.sqlite;Timeout=5000",
         "DRIVER={SQLite3};DATABASE=/tmp/agenda db.sqlite;timeout=5000",
         "DRIVER={SQLite3};DATABASE=/tmp/agenda db.sqlite;timeout=5000", "ODBC"},
        {"DSN=agenda;UID=web;PWD= x ", "DSN=agenda;PWD=x;UID=web", "DSN=agenda;PWD=****;UID=web", "ODBC"},
        {"DSN=agenda;PWD=' x '", "DSN=agenda;PWD={ x }", "DSN=agenda;PWD=****", "ODBC"},
    };
    for (const Case& c : cases) {
        const OdbcConnectionText t = translateToOdbc(ConnectionString::parse(c.text), installed);
        EXPECT_EQ(t.text, c.odbc) << c.text;
        EXPECT_EQ(t.masked, c.masked) << c.text;
        EXPECT_EQ(t.route, c.route) << c.text;
    }
}

TEST(OdbcConnectionString, ConfiguredDriverNamesAreUsed) {
    const OdbcDriverSettings d = drivers({"FreeTDS", "TDS 1.4", "Oracle A", "Oracle B"}, "TDS 1.4", "Oracle B");
    EXPECT_EQ(translateToOdbc(ConnectionString::parse("Provider=SQLOLEDB;Data Source=h"), d).text,
              "DRIVER={TDS 1.4};SERVER=h;TDS_Version=7.4");
    EXPECT_EQ(translateToOdbc(ConnectionString::parse("Provider=MSDAORA;Data Source=o"), d).text,
              "DRIVER={Oracle B};DBQ=o");
}

TEST(OdbcConnectionString, MissingDriverIsNamedInError3706) {
    struct Case {
        const char* text;
        OdbcDriverSettings drivers;
        const char* named;  // what the description must name
    };
    const Case cases[] = {
        {"Provider=SQLOLEDB;Data Source=h", drivers({"PostgreSQL Unicode"}), "\"FreeTDS\""},
        {"Provider=SQLOLEDB;Data Source=h", drivers({"FreeTDS"}, "TDS 9"), "\"TDS 9\""},
        {"Provider=MSDAORA;Data Source=o", drivers({"FreeTDS"}), "no Oracle ODBC driver"},
        {"Provider=OraOLEDB.Oracle;Data Source=o", drivers({"Oracle A"}, {}, "Oracle 21"), "\"Oracle 21\""},
        {"Provider=MSDASQL;UID=x", drivers({"FreeTDS"}), "no DSN and no Driver"},
    };
    for (const Case& c : cases) {
        const ComError e = errorOf([&] { translateToOdbc(ConnectionString::parse(c.text), c.drivers); });
        EXPECT_EQ(e.number(), 3706) << c.text;
        EXPECT_EQ(e.sqlState(), "IM002") << c.text;
        EXPECT_NE(e.description().find(c.named), std::string::npos) << c.text << ": " << e.description();
    }
}

// orvan explain-connection prints the FreeTDS string with the password masked (FreeTDS is installed
// by the test dependencies), and refuses a string for a native provider.
TEST(OdbcConnectionString, ExplainConnectionCommandPrintsTheMaskedString) {
    auto runOrvan = [](const std::string& argument, int& status) {
        std::string out;
        FILE* p = ::popen((std::string(ORVAN_BINARY) + " explain-connection '" + argument + "' 2>&1").c_str(), "r");
        if (!p) return out;
        char buf[1024];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        const int rc = ::pclose(p);
        status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        return out;
    };
    int status = -1;
    EXPECT_EQ(runOrvan("Provider=SQLOLEDB;Data Source=db1,1433;Initial Catalog=agenda;User ID=web;Password=x", status),
              "DRIVER={FreeTDS};SERVER=db1;PORT=1433;DATABASE=agenda;UID=web;PWD=****;TDS_Version=7.4\n");
    EXPECT_EQ(status, 0);
    const std::string native = runOrvan("Provider=SQLite;Data Source=a.db", status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(native.find("not an ODBC provider"), std::string::npos) << native;
}

}  // namespace
}  // namespace orvan::data::testing
