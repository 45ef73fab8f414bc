// Linked into addbook_trace (the installer built with this one file more):
// records every statement that the database engine runs, as the engine runs
// it, into "statements.sql" beside the executable, so that the import's
// database work can be replayed on its own by the sqlite3 shell.
//
// The recording hooks every connection the process opens (an automatic
// extension registered before main) and writes each statement when it starts
// running, with its bound values written in as literals: a field update
// written back through the recordset appears as the UPDATE ... WHERE <rowid>
// = <n> that ran.  Each statement ends in ";" and a line break.
//
// The shell drops a CR that stands just before an LF when it reads a line, so
// each such CR is written twice; the shell then runs the text exactly as the
// installer did, CR LF line breaks inside literals included.
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/platform.h"

namespace {

std::FILE* trace_file = nullptr;

void Write(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  for (size_t i = 0; i < sql.size(); ++i) {
    if (sql[i] == '\r' && i + 1 < sql.size() && sql[i + 1] == '\n') out.push_back('\r');
    out.push_back(sql[i]);
  }
  out += ";\n";
  std::fwrite(out.data(), 1, out.size(), trace_file);
}

int OnTrace(unsigned kind, void*, void* p, void* x) {
  if (kind != SQLITE_TRACE_STMT) return 0;
  const char* text = static_cast<const char*>(x);
  if (text && text[0] == '-' && text[1] == '-') return 0;  // a trigger's body
  char* expanded = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(p));
  if (expanded) {
    Write(expanded);
    sqlite3_free(expanded);
  } else if (text) {
    Write(text);
  }
  return 0;
}

int OnOpen(sqlite3* db, char**, const sqlite3_api_routines*) {
  if (!trace_file) {
    const std::string path = (addbook::ExecutableDir() / "statements.sql").string();
    trace_file = std::fopen(path.c_str(), "wb");
    if (!trace_file) {
      std::perror(path.c_str());
      std::exit(3);
    }
    std::atexit([] { std::fclose(trace_file); });
  }
  sqlite3_trace_v2(db, SQLITE_TRACE_STMT, OnTrace, nullptr);
  return SQLITE_OK;
}

const bool registered = [] {
  sqlite3_auto_extension(reinterpret_cast<void (*)()>(OnOpen));
  return true;
}();

}  // namespace
