// The database build: text camera list -> sorted binary data file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "edog/builder/list_build.h"
#include "edog/builder/text_out.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/datafile/open_file.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"

namespace {

constexpr char kListName[] = "speedcam22.txt";

// The build's node pool: one allocation, left untouched so that memory grows
// with the cameras read rather than with the capacity. Published through
// edog_heap_buffer_addr for as long as the build runs, released on every path.
class NodePool {
public:
    explicit NodePool(std::uint32_t capacity)
        : nodes_(new (std::nothrow) GPSNode[capacity]), capacity_(capacity) {
        edog_heap_buffer_addr = nodes_.get();
    }
    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;
    NodePool(NodePool&&) = delete;
    NodePool& operator=(NodePool&&) = delete;
    ~NodePool() { release(); }

    [[nodiscard]] bool ok() const { return nodes_ != nullptr; }
    [[nodiscard]] std::uint32_t capacity() const { return capacity_; }
    GPSNode& operator[](std::uint32_t i) { return nodes_[i]; }

    void release() {
        nodes_.reset();
        edog_heap_buffer_addr = nullptr;
    }

private:
    std::unique_ptr<GPSNode[]> nodes_;
    std::uint32_t capacity_;
};

// The module's build's view of the list reader: every camera is echoed and
// appended to the pool's list behind its head, in list order.
class PoolSink {
public:
    explicit PoolSink(NodePool& pool) : pool_(pool), tail_(&pool[0]) {
        pool[0].data = E_DOG_DATA{};
        pool[0].link = nullptr;
        e_dog_list_size = 0;
    }

    void comma_piece(const char* piece, unsigned long /*piece_no*/) {
        out_.text("Chack Str:").text(piece).put('\n').write();
    }

    void bad_position(unsigned long piece_no) {
        std::printf("########## create_e_dog_heaplist skip line %lu: bad position\n", piece_no);
    }

    bool camera(const E_DOG_DATA& data, unsigned long /*piece_no*/) {
        ++e_dog_list_size;
        if (e_dog_list_size >= pool_.capacity()) {
            std::printf("########## create_e_dog_heaplist list full: more than %u cameras!\n",
                        pool_.capacity() - 1);
            pool_.release();
            return false;
        }
        GPSNode& node = pool_[e_dog_list_size];
        node.data = data;
        node.link = nullptr;
        tail_->link = &node;
        tail_ = &node;
        // "%ld,%lf,%lf,%d,%d,%d,%d,%s\n"
        out_.integer(data.Idex).put(',').fixed(data.Gps_lng, 6).put(',').fixed(data.Gps_lat, 6);
        for (const int v : {data.Type, data.Speed, data.DirType, data.Direction}) {
            out_.put(',').integer(v);
        }
        out_.put(',').text(data.encode_str).put('\n').write();
        return true;
    }

    void progress(std::uint64_t /*bytes*/) {}

private:
    NodePool& pool_;
    GPSNode* tail_;
    e_dog::LineOut out_{stdout};
};

// Reads the camera list into a list of pool nodes behind its head, in line
// order. Returns 0, or -1 when the build cannot go on.
int import_list(std::FILE* list, NodePool& pool) {
    PoolSink sink(pool);
    switch (e_dog::read_camera_list(list, sink)) {
    case e_dog::ReadResult::kStopped:
        return -1;
    case e_dog::ReadResult::kReadError:
        // A list that cannot be read to its end must not replace the data
        // file with a shortened one.
        std::printf("########## create_e_dog_heaplist read input file: %s fail!\n", e_dog_usrfile);
        return -1;
    case e_dog::ReadResult::kOk:
        break;
    }
    std::puts("=========== decode file OK!");
    return 0;
}

// Reads the data file back and prints every whole record.
void print_back() {
    const e_dog::UniqueFile in = e_dog::open_data_file();
    if (!in) {
        return;
    }
    E_DOG_DATA rec{};
    long count = 0;
    e_dog::LineOut out(stdout);
    while (e_dog::read_record(in.get(), rec)) {
        // "%.8ld %.8ld %.4d %.4d %.4d %.4d %.8f %.8f %s \n"
        out.integer(count, 8).put(' ').integer(rec.Idex, 8);
        for (const int v : {rec.Direction, rec.Type, rec.DirType, rec.Speed}) {
            out.put(' ').integer(v, 4);
        }
        out.put(' ').fixed(rec.Gps_lat, 8).put(' ').fixed(rec.Gps_lng, 8);
        out.put(' ').text(e_dog::code_text(rec).text).text(" \n").write();
        ++count;
    }
}

}  // namespace

bool e_dog::scan_camera_line(const char* line, std::size_t length, E_DOG_DATA& data) {
    return scan_camera_fields(line, length, data).supplies_nothing;
}

int e_dog::build_data_file(std::uint32_t pool_nodes) {
    static_assert(sizeof kListName <= sizeof e_dog_usrfile);
    std::memcpy(e_dog_usrfile, kListName, sizeof kListName);
    const UniqueFile list = open_regular_file(e_dog_usrfile);
    if (!list) {
        std::printf("########## create_e_dog_heaplist open input file: %s fail!\n", e_dog_usrfile);
        return -1;
    }
    std::puts("########## create_e_dog_heaplist open input file OK!");

    NodePool pool(pool_nodes);
    if (!pool.ok() || pool_nodes == 0) {
        std::puts("I am mpl fail in create_e_dog_heaplist!");
        return -1;
    }
    std::puts("########## create_e_dog_heaplist malloc OK!");
    if (import_list(list.get(), pool) != 0) {
        return -1;
    }

    GPSNode* head = &pool[0];
    e_dog_quick_sort(head, nullptr);
    std::puts("=========== quick sort file OK!");

    std::uint64_t count = 0;
    switch (write_records(head->link, e_dog_datafile, count)) {
    case WriteResult::kOpenFailed:
        std::printf("########## e_dog_write_list_to_file open input file: %s fail!\n",
                    e_dog_datafile);
        return -1;
    case WriteResult::kWriteFailed:
        std::printf("########## e_dog_write_list_to_file write file: %s fail!\n", e_dog_datafile);
        return -1;
    case WriteResult::kOk:
        break;
    }
    std::printf("file all index:%ld\n", static_cast<long>(count));
    print_back();
    return 0;
}

int e_dog_updata_tsk() {
    return e_dog::build_data_file(e_dog::kPoolNodes);
}
