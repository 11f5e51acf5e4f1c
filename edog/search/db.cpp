// Opening, closing and reading a database handle (edog/e_dog_db.h).
#include "edog/search/db.h"

#include <cerrno>
#include <cstdint>
#include <new>
#include <utility>

#include "edog/datafile/data_file_layout.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/datafile/open_file.h"
#include "edog/search/search_trace.h"

E_DOG_DB::~E_DOG_DB() {
    state.detach();
    e_dog::clear_nearest_trace();
}

namespace {

void fail(int* error, int code) {
    if (error != nullptr) {
        *error = code;
    }
}

}  // namespace

E_DOG_DB* e_dog::db_adopt(UniqueFd fd, std::uint32_t records) {
    return new (std::nothrow) E_DOG_DB(std::move(fd), records);
}

std::size_t e_dog::db_index_bytes(const E_DOG_DB& db) {
    return db.state.key_bytes();
}

std::size_t e_dog::db_views_made(const E_DOG_DB& db) {
    return db.state.views_made();
}

std::size_t e_dog::db_views_held(const E_DOG_DB& db) {
    return db.state.views_held();
}

E_DOG_DB* e_dog_db_open(const char* path, int* error) {
    if (path == nullptr) {
        fail(error, EDOG_DB_ERR_ARGUMENT);
        return nullptr;
    }
    e_dog::UniqueFd fd = e_dog::open_regular_fd(path);
    if (!fd) {
        const bool not_regular = errno == EINVAL || errno == EISDIR;
        fail(error, not_regular ? EDOG_DB_ERR_NOT_REGULAR : EDOG_DB_ERR_OPEN);
        return nullptr;
    }
    const std::uint64_t records = e_dog::whole_records(fd.get());
    if (records == 0) {
        fail(error, EDOG_DB_ERR_NO_RECORD);
        return nullptr;
    }
    if (records > e_dog::DataFileLayout::kMaxRecords) {
        fail(error, EDOG_DB_ERR_TOO_MANY);
        return nullptr;
    }
    E_DOG_DB* db = e_dog::db_adopt(std::move(fd), static_cast<std::uint32_t>(records));
    if (db != nullptr) {
        e_dog::db_load_zones(*db, path);
    }
    fail(error, db != nullptr ? EDOG_DB_OK : EDOG_DB_ERR_MEMORY);
    return db;
}

void e_dog_db_close(E_DOG_DB* db) {
    delete db;
}

const char* e_dog_db_error_text(int error) {
    switch (error) {
    case EDOG_DB_OK:
        return "no error";
    case EDOG_DB_ERR_ARGUMENT:
        return "no file name";
    case EDOG_DB_ERR_OPEN:
        return "cannot be opened";
    case EDOG_DB_ERR_NOT_REGULAR:
        return "not a regular file";
    case EDOG_DB_ERR_NO_RECORD:
        return "holds no whole record";
    case EDOG_DB_ERR_TOO_MANY:
        return "holds too many records";
    case EDOG_DB_ERR_MEMORY:
        return "out of memory";
    default:
        return "unknown error";
    }
}

long long e_dog_db_count(const E_DOG_DB* db) {
    return db == nullptr ? 0 : static_cast<long long>(db->state.records());
}

int e_dog_db_record(const E_DOG_DB* db, long long index, E_DOG_DATA* out) {
    if (db == nullptr || out == nullptr) {
        return -1;
    }
    if (index < 0 || index >= e_dog_db_count(db)) {
        return 0;
    }
    // Read through the descriptor, not a view: a view is the searches' and
    // is made on the first search.
    return e_dog::read_record_at(db->fd.get(), static_cast<std::uint64_t>(index), *out) ? 1 : 0;
}
