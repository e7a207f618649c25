#include "archive/archive_connection.h"

#include <libpq-fe.h>

#include <memory>

#include "archive/archive_schema.h"
#include "archive/pg_connection.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::archive {
namespace {

using support::format;
using support::sj;

using Options = std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption*)>;

Options parsed(const std::string& conninfo) {
    char* error = nullptr;
    Options options(PQconninfoParse(conninfoOf(conninfo).c_str(), &error), PQconninfoFree);
    if (!options) {
        const std::string reason = error ? error : "out of memory";
        PQfreemem(error);
        throw CxException(format(sj("アーカイブの接続文字列が正しくありません\n%s").c_str(),
                                 support::fromUtf8(reason).c_str()));
    }
    return options;
}

std::string quoted(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "'";
}

}  // namespace

std::string passwordRefusedText() {
    return sj(
        "アーカイブの接続文字列にパスワードは書けません\n"
        "パスワードは libpq のパスワードファイル（~/.pgpass または環境変数 PGPASSFILE "
        "の指すファイル）かサービスファイル（~/.pg_service.conf）に書いてください");
}

void checkConnectionText(const std::string& conninfo) {
    const Options options = parsed(conninfo);
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o) {
        if (std::string(o->keyword) == "password" && o->val)
            throw CxException(passwordRefusedText());
    }
}

ConnectionAnswer testConnection(const std::string& conninfo) {
    try {
        checkConnectionText(conninfo);
        PgConnection conn(conninfoOf(conninfo));
        const PgResult r = conn.exec("SELECT version(), current_database(), current_user");
        const int schema = archiveSchemaVersion(conn);
        const std::string archive =
            schema ? format(sj("アーカイブのスキーマ：バージョン %d").c_str(), schema)
                   : sj("アーカイブはまだ作成されていません");
        return {true, format(sj("接続できました\n%s\nデータベース：%s　ユーザー：%s\n%s").c_str(),
                             r.text(0, 0).c_str(), support::fromUtf8(r.text(0, 1)).c_str(),
                             support::fromUtf8(r.text(0, 2)).c_str(), archive.c_str())};
    } catch (const CxException& e) {
        return {false, e.text()};
    } catch (const PgError& e) {
        return {false, format(sj("アーカイブに接続できません\n%s").c_str(),
                              support::fromUtf8(e.what()).c_str())};
    }
}

std::string connectionString(const ConnectionFields& fields) {
    std::string out;
    const auto add = [&out](const char* key, const std::string& value) {
        if (value.empty())
            return;
        if (!out.empty())
            out += ' ';
        out += std::string(key) + "=" + quoted(value);
    };
    add("host", fields.host);
    add("port", fields.port);
    add("dbname", fields.dbname);
    add("user", fields.user);
    add("sslmode", fields.sslmode);
    return out;
}

ConnectionFields connectionFields(const std::string& conninfo) {
    ConnectionFields fields;
    const Options options = parsed(conninfo);
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o) {
        if (!o->val)
            continue;
        const std::string key = o->keyword;
        if (key == "host")
            fields.host = o->val;
        else if (key == "port")
            fields.port = o->val;
        else if (key == "dbname")
            fields.dbname = o->val;
        else if (key == "user")
            fields.user = o->val;
        else if (key == "sslmode")
            fields.sslmode = o->val;
    }
    return fields;
}

}  // namespace plm::archive
