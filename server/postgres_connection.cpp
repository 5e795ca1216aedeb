// A connection to a PostgreSQL database over libpq: the backend for a
// library that several service processes share.
#include <libpq-fe.h>

#include <map>
#include <vector>

#include "sql_connection.h"
#include "subtitle_store.h"

namespace {

// libpq's messages end with a line break.
std::string Message(const char* text) {
  std::string message = text ? text : "";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message.empty() ? "unknown PostgreSQL failure" : message;
}

// Throws unless the result is a success; frees it either way when throwing.
void CheckResult(PGconn* connection, PGresult* result) {
  const ExecStatusType status = PQresultStatus(result);
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return;
  const std::string why =
      Message(result ? PQresultErrorMessage(result) : PQerrorMessage(connection));
  PQclear(result);
  throw StoreFailure(why);
}

// The statement's text with each "?" written as PostgreSQL's "$n". The
// store's statements hold no "?" inside quoted text.
std::string NumberedParameters(const char* sql, int& count) {
  std::string text;
  count = 0;
  for (const char* c = sql; *c; ++c) {
    if (*c == '?') {
      text += "$" + std::to_string(++count);
    } else {
      text += *c;
    }
  }
  return text;
}

// Parameters go as text (integers, in decimal) or in binary form (texts and
// blobs, so their bytes arrive as they are); rows come back in binary form.
class PostgresStatement final : public SqlStatement {
 public:
  PostgresStatement(PGconn* connection, std::string name, int parameters)
      : connection_(connection), name_(std::move(name)), parameters_(parameters) {}
  ~PostgresStatement() override { PQclear(result_); }

  void BindInteger(int64_t value) override { Bind(std::to_string(value), 0); }
  void BindText(const std::string& value) override { Bind(value, 1); }
  void BindBytes(const std::string& value) override { Bind(value, 1); }

  bool Step() override {
    if (!result_) Run();
    return ++row_ < PQntuples(result_);
  }

  int64_t Integer(int column) override {
    const auto* bytes = reinterpret_cast<const unsigned char*>(PQgetvalue(result_, row_, column));
    const int size = PQgetlength(result_, row_, column);
    uint64_t value = 0;
    for (int i = 0; i < size; ++i) value = (value << 8) | bytes[i];
    // Network order of an integer of 1, 2, 4 or 8 bytes, sign extended.
    if (size > 0 && size < 8 && (bytes[0] & 0x80)) value |= ~uint64_t{0} << (8 * size);
    return static_cast<int64_t>(value);
  }

  std::string Bytes(int column) override {
    return std::string(PQgetvalue(result_, row_, column),
                       static_cast<size_t>(PQgetlength(result_, row_, column)));
  }

  void Reset() override {
    PQclear(result_);
    result_ = nullptr;
    row_ = -1;
    values_.clear();
    formats_.clear();
  }

 private:
  void Bind(std::string value, int format) {
    values_.push_back(std::move(value));
    formats_.push_back(format);
  }

  void Run() {
    if (static_cast<int>(values_.size()) != parameters_) {
      throw StoreFailure("statement " + name_ + " takes " + std::to_string(parameters_) +
                         " parameters, " + std::to_string(values_.size()) + " bound");
    }
    std::vector<const char*> values;
    std::vector<int> lengths;
    for (const std::string& value : values_) {
      values.push_back(value.c_str());
      lengths.push_back(static_cast<int>(value.size()));
    }
    PGresult* result = PQexecPrepared(connection_, name_.c_str(), parameters_, values.data(),
                                      lengths.data(), formats_.data(), 1);
    CheckResult(connection_, result);
    result_ = result;
    row_ = -1;
  }

  PGconn* connection_;
  std::string name_;
  int parameters_;
  std::vector<std::string> values_;
  std::vector<int> formats_;
  PGresult* result_ = nullptr;
  int row_ = -1;
};

class PostgresConnection final : public SqlConnection {
 public:
  explicit PostgresConnection(const std::string& connectionString) {
    connection_ = PQconnectdb(connectionString.c_str());
    if (!connection_ || PQstatus(connection_) != CONNECTION_OK) {
      const std::string why = connection_ ? Message(PQerrorMessage(connection_)) : "out of memory";
      PQfinish(connection_);
      // The message names host and database, never the password.
      throw StoreFailure("cannot connect to the database: " + why);
    }
    // Notices ("already exists, skipping") are not for the service's log.
    PQsetNoticeProcessor(
        connection_, [](void*, const char*) {}, nullptr);
    if (PQsetClientEncoding(connection_, "UTF8") != 0) {
      const std::string why = Message(PQerrorMessage(connection_));
      PQfinish(connection_);
      throw StoreFailure("cannot use UTF-8 with the database: " + why);
    }
  }
  ~PostgresConnection() override {
    statements_.clear();
    PQfinish(connection_);
  }

  SqlDialect dialect() const override { return SqlDialect::kPostgres; }

  void Execute(const std::string& sql) override {
    PGresult* result = PQexec(connection_, sql.c_str());
    CheckResult(connection_, result);
    PQclear(result);
  }

  SqlStatement& Prepare(const char* sql) override {
    auto found = statements_.find(sql);
    if (found != statements_.end()) {
      found->second->Reset();
      return *found->second;
    }
    int parameters = 0;
    const std::string text = NumberedParameters(sql, parameters);
    const std::string name = "s" + std::to_string(statements_.size() + 1);
    PGresult* result = PQprepare(connection_, name.c_str(), text.c_str(), parameters, nullptr);
    CheckResult(connection_, result);
    PQclear(result);
    auto made = std::make_unique<PostgresStatement>(connection_, name, parameters);
    SqlStatement& prepared = *made;
    statements_.emplace(sql, std::move(made));
    return prepared;
  }

  // Rows a transaction writes are locked until its end; concurrent writers
  // of the same rows wait for it.
  void BeginWrite() override { Execute("BEGIN"); }

  bool Idle() override {
    return PQstatus(connection_) == CONNECTION_OK &&
           PQtransactionStatus(connection_) == PQTRANS_IDLE;
  }

 private:
  PGconn* connection_ = nullptr;
  std::map<std::string, std::unique_ptr<PostgresStatement>> statements_;
};

}  // namespace

std::unique_ptr<SqlConnection> ConnectPostgres(const std::string& connectionString) {
  return std::make_unique<PostgresConnection>(connectionString);
}
