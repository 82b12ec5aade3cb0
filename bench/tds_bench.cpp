// tds_bench: the TDS server on loopback against the network alone and
// against the engine in-process, in one run.
//
//   tds_bench [--quick] [--rows N] [--seconds S]
//                        defaults: 100000 rows, slices of 1 s
//                        --quick: 10000 rows, slices of 0.1 s (a smoke run)
//                        --only point|many|table: that figure alone, to profile it
//
// Each figure is the best of three slices, and the slices of a figure and
// of its baselines take turns, so that the load of other programs on the
// machine falls on both sides alike.
//
// A throwaway instance (VQSQL_HOME pointed at a temporary folder) gets a
// database with a voucher table of the usual kinds of columns (int key,
// varchar and nvarchar texts with Chinese, money, datetime, decimal) and N
// rows, and a TdsServer on 127.0.0.1, port 0, without a certificate (so
// the connections are not encrypted). The client below speaks just enough
// TDS: PRELOGIN with encryption "not supported", LOGIN7, then SQL batches,
// reading each answer up to the packet that ends the message.
//
// Figures, each beside its baseline measured in the same run:
//   point query, 1 connection    round trips per second of a select by
//                                primary key, beside a TCP echo and beside
//                                Connection::query of the same text;
//                                target: TDS >= 0.5 x echo
//   point query, 50 connections  50 client threads, each its own
//                                connection, total round trips per second,
//                                beside the echo at 50
//   whole table                  rows per second of a select of every
//                                column and row, beside Connection::query
//                                of the same text; target: TDS >= 0.5 x
//                                embedded
// The in-process baseline runs on a thread of its own, as each server
// session does, so that both sides allocate from a thread's memory arena.
// The echo server is written like the TDS server (a thread per connection,
// blocking socket I/O); its client sends as many bytes as the TDS request
// and reads back as many as the TDS answer, so it measures what the network
// alone costs for the same exchange.
#include "connection.h"
#include "instance.h"
#include "login_builder.h"
#include "packet.h"
#include "tds_server.h"
#include "tempfolder.h"
#include "tokens.h"
#include "wire.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <latch>
#include <list>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using vqtds::Bytes;

constexpr const char* kPassword = "Bench#2026";
constexpr const char* kDatabase = "VQBench";
constexpr int kPointKey = 17;

double secondsSince(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what);
}

// ---- sockets ------------------------------------------------------------------

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A connected TCP socket, closed with the object.
class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Socket& operator=(Socket&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    int fd() const { return fd_; }

    static Socket connectTo(int port)
    {
        Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (s.fd_ < 0)
            fail("socket failed");
        const int one = 1;
        setsockopt(s.fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const sockaddr_in address = loopback(port);
        if (::connect(s.fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            fail(std::string("connect failed: ") + std::strerror(errno));
        return s;
    }

    bool sendAll(const std::uint8_t* data, std::size_t size) const
    {
        while (size > 0) {
            const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    // Some bytes (at most `size`); 0 at the end of the stream or on an error.
    std::size_t receiveSome(std::uint8_t* into, std::size_t size) const
    {
        for (;;) {
            const ssize_t n = ::recv(fd_, into, size, 0);
            if (n < 0 && errno == EINTR)
                continue;
            return n > 0 ? static_cast<std::size_t>(n) : 0;
        }
    }

    bool receiveExactly(std::uint8_t* into, std::size_t size) const
    {
        while (size > 0) {
            const std::size_t n = receiveSome(into, size);
            if (n == 0)
                return false;
            into += n;
            size -= n;
        }
        return true;
    }

private:
    int fd_ = -1;
};

// A listening socket on 127.0.0.1 at a port of the system's choice.
Socket listenOnLoopback(int& port)
{
    Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int one = 1;
    setsockopt(s.fd(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = loopback(0);
    if (::bind(s.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(s.fd(), 256) != 0)
        fail("cannot listen for the echo server");
    socklen_t length = sizeof address;
    getsockname(s.fd(), reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return s;
}

// ---- the echo server ----------------------------------------------------------

// The network baseline, built the way the TDS server is: an accepting
// thread and a thread per connection with blocking reads and writes. Each
// exchange is a request of `requestSize` bytes answered with `answerSize`
// bytes in one write, as the TDS server answers a batch with one message.
class EchoServer {
public:
    EchoServer() : listener_(listenOnLoopback(port_))
    {
        acceptThread_ = std::thread([this] { acceptLoop(); });
    }
    ~EchoServer()
    {
        stopping_ = true;
        ::shutdown(listener_.fd(), SHUT_RDWR);
        acceptThread_.join();
        std::lock_guard lock(mutex_);
        for (auto& c : connections_)
            ::shutdown(c.socket.fd(), SHUT_RDWR);
        for (auto& c : connections_)
            c.thread.join();
    }

    int port() const { return port_; }
    // The sizes of the coming exchanges; set while no client is connected.
    void setSizes(std::size_t requestSize, std::size_t answerSize)
    {
        requestSize_ = requestSize;
        answer_.assign(answerSize, 0x5A);
    }

private:
    struct Connection {
        Socket socket;
        std::thread thread;
    };

    void acceptLoop()
    {
        for (;;) {
            const int fd = ::accept4(listener_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (stopping_)
                    return;
                continue;
            }
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::lock_guard lock(mutex_);
            connections_.push_back(Connection{Socket(fd), {}});
            Connection& c = connections_.back();
            c.thread = std::thread([this, fd] { serve(fd); });
        }
    }

    void serve(int fd) const
    {
        const Socket view(::dup(fd));   // this thread's own descriptor of the connection
        std::vector<std::uint8_t> request(requestSize_);
        while (view.receiveExactly(request.data(), request.size())) {
            if (!view.sendAll(answer_.data(), answer_.size()))
                return;
        }
    }

    int port_ = 0;
    Socket listener_;
    std::atomic<bool> stopping_{false};
    std::size_t requestSize_ = 1;
    std::vector<std::uint8_t> answer_;
    std::thread acceptThread_;
    std::mutex mutex_;
    std::list<Connection> connections_;
};

// One echo client's exchange.
class EchoClient {
public:
    EchoClient(int port, std::size_t requestSize, std::size_t answerSize)
        : socket_(Socket::connectTo(port)), request_(requestSize, 0x33), answer_(answerSize)
    {
    }
    void roundTrip()
    {
        if (!socket_.sendAll(request_.data(), request_.size()) ||
            !socket_.receiveExactly(answer_.data(), answer_.size()))
            fail("the echo server closed the connection");
    }

private:
    Socket socket_;
    std::vector<std::uint8_t> request_, answer_;
};

// ---- a minimal TDS client -----------------------------------------------------

// One message as packets: the type, the end-of-message bit on the last.
Bytes packetsOf(std::uint8_t type, const Bytes& payload, std::size_t packetSize = vqtds::kDefaultPacketSize)
{
    return vqtds::splitIntoPackets(type, payload, packetSize);
}

// PRELOGIN with VERSION and ENCRYPTION = not supported.
Bytes preloginRequest()
{
    Bytes p;
    const std::uint16_t dataStart = 2 * 5 + 1;
    vqtds::putU8(p, 0x00);   // VERSION
    vqtds::putU16be(p, dataStart);
    vqtds::putU16be(p, 6);
    vqtds::putU8(p, 0x01);   // ENCRYPTION
    vqtds::putU16be(p, dataStart + 6);
    vqtds::putU16be(p, 1);
    vqtds::putU8(p, 0xFF);
    vqtds::putBytes(p, Bytes{9, 0, 0, 0, 0, 0});
    vqtds::putU8(p, 0x02);   // ENCRYPT_NOT_SUP
    return p;
}

// An SQL batch as 7.2 and later send it: the transaction-descriptor header
// (no transaction), then the text in UTF-16.
Bytes sqlBatch(const std::string& text)
{
    Bytes p;
    vqtds::putU32le(p, 22);   // all headers
    vqtds::putU32le(p, 18);   // this header
    vqtds::putU16le(p, 2);    // transaction descriptor
    vqtds::putU64le(p, 0);
    vqtds::putU32le(p, 1);    // outstanding requests
    vqtds::putBytes(p, vqtds::utf8ToUtf16(text));
    return p;
}

// The DONE token that ends an answer: status, command, row count.
struct FinalDone {
    std::uint16_t status = 0;
    std::uint64_t count = 0;
};

class TdsClient {
public:
    TdsClient(int port, const std::string& database) : socket_(Socket::connectTo(port)), buffer_(256 * 1024)
    {
        send(packetsOf(vqtds::packet_type::Prelogin, preloginRequest()));
        const Bytes& prelogin = readMessage();
        if (prelogin.empty())
            fail("no PRELOGIN answer");
        tdstest::LoginBuilder login;
        login.password = kPassword;
        login.app = "tds_bench";
        login.database = database;
        send(packetsOf(vqtds::packet_type::Login7, login.build()));
        const Bytes& answer = readMessage();
        const FinalDone done = finalDone(answer);
        if (answer.empty() || (done.status & 0x02) || !contains(answer, 0xAD))
            fail("login refused");
    }

    // Sends the batch's packets (made once) and reads the answer's payload.
    const Bytes& roundTrip(const Bytes& requestPackets)
    {
        send(requestPackets);
        return readMessage();
    }

    // The payload of the next message, and its size on the wire.
    const Bytes& readMessage()
    {
        payload_.clear();
        wireBytes_ = 0;
        for (;;) {
            while (available() < vqtds::kPacketHeaderSize)
                fill();
            const std::uint8_t* h = buffer_.data() + start_;
            const std::size_t length = (std::size_t(h[2]) << 8) | h[3];
            const bool last = (h[1] & vqtds::packet_status::EndOfMessage) != 0;
            if (length < vqtds::kPacketHeaderSize)
                fail("malformed packet from the server");
            while (available() < length)
                fill();
            payload_.insert(payload_.end(), buffer_.data() + start_ + vqtds::kPacketHeaderSize,
                            buffer_.data() + start_ + length);
            start_ += length;
            wireBytes_ += length;
            if (last)
                return payload_;
        }
    }
    std::size_t lastWireBytes() const { return wireBytes_; }

    static FinalDone finalDone(const Bytes& payload)
    {
        // DONE in 7.2 on: token, status (2), command (2), row count (8).
        FinalDone d;
        if (payload.size() < 13 || payload[payload.size() - 13] != 0xFD) {
            d.status = 0xFFFF;
            return d;
        }
        const std::uint8_t* p = payload.data() + payload.size() - 12;
        d.status = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
        for (int i = 0; i < 8; ++i)
            d.count |= std::uint64_t(p[4 + i]) << (8 * i);
        return d;
    }

    static bool contains(const Bytes& payload, std::uint8_t byte)
    {
        return std::find(payload.begin(), payload.end(), byte) != payload.end();
    }

private:
    void send(const Bytes& packets)
    {
        if (!socket_.sendAll(packets.data(), packets.size()))
            fail("the TDS server closed the connection");
    }
    std::size_t available() const { return end_ - start_; }
    void fill()
    {
        if (start_ == end_) {
            start_ = end_ = 0;
        } else if (buffer_.size() - end_ < vqtds::kMaxPacketSize) {
            std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
            end_ -= start_;
            start_ = 0;
        }
        const std::size_t n = socket_.receiveSome(buffer_.data() + end_, buffer_.size() - end_);
        if (n == 0)
            fail("the TDS server closed the connection");
        end_ += n;
    }

    Socket socket_;
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0, end_ = 0;
    Bytes payload_;
    std::size_t wireBytes_ = 0;
};

// The first answer of the point query: a result set (COLMETADATA first,
// no ERROR before it), a ROW holding the expected name, and a final DONE
// without the error bit that counts one row.
void checkPointAnswer(const Bytes& answer, const std::string& expectedName)
{
    if (answer.empty() || answer[0] != 0x81)
        fail("the point query's answer does not start with COLMETADATA (an ERROR token instead?)");
    const auto row = std::find_if(answer.begin(), answer.end(), [](std::uint8_t b) { return b == 0xD1 || b == 0xD2; });
    const Bytes name = vqtds::utf8ToUtf16(expectedName);
    if (row == answer.end() || std::search(row, answer.end(), name.begin(), name.end()) == answer.end())
        fail("the point query's answer holds no ROW with the expected name");
    const FinalDone done = TdsClient::finalDone(answer);
    if ((done.status & 0x02) || done.count != 1)
        fail("the point query's answer does not end with a DONE of one row");
}

// ---- the instance -------------------------------------------------------------

const char* const kCreateVoucher =
    "create table voucher (id int not null primary key, vou_no varchar(20) not null, name nvarchar(40) not null, "
    "summary varchar(200) null, dept nvarchar(30) null, amount money not null, vou_date datetime not null, "
    "rate decimal(19,4) null, qty decimal(12,2) null, note nvarchar(100) null)";

const char* const kSelectAll =
    "SELECT id, vou_no, name, summary, dept, amount, vou_date, rate, qty, note FROM voucher";

std::string pointQuery()
{
    return "SELECT name FROM voucher WHERE id = " + std::to_string(kPointKey);
}

std::string nameOf(long i)
{
    return "供应商" + std::to_string(i) + "号";
}

// Literal texts of row i: Chinese in the nvarchar and varchar columns,
// some NULLs, amounts of both signs.
std::string voucherValues(long i)
{
    char text[512];
    std::snprintf(text, sizeof text,
                  "(%ld, 'V%08ld', N'%s', '%s %ld', N'%s', %s%ld.%02ld, '2026-%02ld-%02ld %02ld:%02ld:00', "
                  "%ld.%04ld, %ld.%02ld, %s)",
                  i, i, nameOf(i).c_str(), i % 3 == 0 ? "收到货款" : "支付运费", i, i % 5 == 0 ? "财务部" : "销售部",
                  i % 7 == 0 ? "-" : "", (i * 7919) % 100000, i % 100, 1 + i % 12, 1 + i % 28, i % 24, i % 60,
                  1 + i % 9, (i * 31) % 10000, i % 500, i % 100,
                  i % 4 == 0 ? "NULL" : "N'凭证备注：第一季度'");
    return text;
}

void fillVoucher(vqsql::Connection& c, long rows)
{
    c.execute(kCreateVoucher);
    c.beginTransaction();
    constexpr long kPerBatch = 200;
    for (long first = 1; first <= rows; first += kPerBatch) {
        std::string batch;
        for (long i = first; i < first + kPerBatch && i <= rows; ++i) {
            batch += batch.empty() ? "insert into voucher values " : ",";
            batch += voucherValues(i);
        }
        c.execute(batch);
    }
    c.commit();
}

// ---- the in-process baseline's thread -------------------------------------------

// A thread of its own for the in-process baseline, as the server gives each
// connection one: its engine connection is opened, used and closed there,
// and allocates from that thread's memory arena as the server's sessions
// do, not from the main thread's.
class Worker {
public:
    Worker() : thread_([this] { loop(); }) {}
    ~Worker()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    // Runs `job` on the thread and waits for its result (or its exception).
    template <class Job>
    auto run(Job&& job) -> decltype(job())
    {
        std::packaged_task<decltype(job())()> task(std::forward<Job>(job));
        auto result = task.get_future();
        {
            std::lock_guard lock(mutex_);
            job_ = [&task] { task(); };
        }
        wake_.notify_all();
        return result.get();
    }

private:
    void loop()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return job_ || done_; });
                if (!job_)
                    return;
                job = std::move(job_);
                job_ = nullptr;
            }
            job();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::function<void()> job_;
    bool done_ = false;
    std::thread thread_;
};

// ---- measuring ------------------------------------------------------------------

struct Options {
    bool quick = false;
    long rows = 100000;
    double seconds = 1.0;   // a slice; each figure is the best of `slices`
    int slices = 3;
    std::string only;   // "point", "many" or "table": that part alone (for profiling)
    int connections = 50;
};

// Calls `round` for a warm-up and then for `seconds` (at least once);
// rounds per second.
template <class Round>
double roundsPerSecond(double seconds, int warmUp, Round&& round)
{
    for (int i = 0; i < warmUp; ++i)
        round();
    long rounds = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        round();
        ++rounds;
        elapsed = secondsSince(start);
    } while (elapsed < seconds);
    return rounds / elapsed;
}

// `connections` client threads, each making its client and warming it up,
// then all running together for `seconds`; total rounds per second.
template <class MakeClient>
double concurrentRoundsPerSecond(int connections, double seconds, int warmUp, MakeClient&& makeClient)
{
    std::atomic<long> total{0};
    std::atomic<bool> stop{false};
    std::latch ready(connections + 1);
    std::vector<std::thread> threads;
    std::mutex errorMutex;
    std::string firstError;
    for (int t = 0; t < connections; ++t) {
        threads.emplace_back([&] {
            long rounds = 0;
            bool arrived = false;
            try {
                auto client = makeClient();
                for (int i = 0; i < warmUp; ++i)
                    client.roundTrip();
                arrived = true;
                ready.arrive_and_wait();
                while (!stop.load(std::memory_order_relaxed)) {
                    client.roundTrip();
                    ++rounds;
                }
            } catch (const std::exception& e) {
                std::lock_guard lock(errorMutex);
                if (firstError.empty())
                    firstError = e.what();
                stop = true;
                if (!arrived)
                    ready.count_down();
            }
            total += rounds;
        });
    }
    ready.arrive_and_wait();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    const double elapsed = secondsSince(start);
    for (auto& t : threads)
        t.join();
    if (!firstError.empty())
        fail("a client failed: " + firstError);
    return total / elapsed;
}

// Runs each measurement `slices` times, taking turns (A B C A B C ...) so
// that a change in the machine's load falls on all of them alike; the best
// rate of each.
std::vector<double> bestInTurn(int slices, const std::vector<std::function<double()>>& measurements)
{
    std::vector<double> best(measurements.size(), 0.0);
    for (int s = 0; s < slices; ++s)
        for (std::size_t m = 0; m < measurements.size(); ++m)
            best[m] = std::max(best[m], measurements[m]());
    return best;
}

// A TDS client of the bench's database with the request it repeats.
struct TdsRepeater {
    TdsClient client;
    Bytes request;
    void roundTrip() { client.roundTrip(request); }
};

struct Figure {
    std::string what;
    std::string unit;
    double ours = 0;
    std::string baselineName;
    double baseline = 0;
    double target = 0;   // 0: no target, shown for comparison
};

void printFigures(const std::vector<Figure>& figures)
{
    std::printf("\n%-34s %-14s %12s %-10s %12s %7s  %s\n", "figure", "unit", "TDS", "baseline", "baseline", "ratio",
                "target");
    for (const Figure& f : figures) {
        const double ratio = f.baseline > 0 ? f.ours / f.baseline : 0;
        char target[32] = "-";
        if (f.target > 0)
            std::snprintf(target, sizeof target, ">=%.2f %s", f.target, ratio >= f.target ? "met" : "MISSED");
        std::printf("%-34s %-14s %12.0f %-10s %12.0f %7.3f  %s\n", f.what.c_str(), f.unit.c_str(), f.ours,
                    f.baselineName.c_str(), f.baseline, ratio, target);
    }
}

// Where the server's time for the whole table goes, timed in-process on
// the same steps the server takes: the engine's query, the tokens of the
// result set, the split into packets (best of three each).
void printTableSplit(vqsql::Connection& embedded, const Options& o)
{
    double queryMs = 1e300, tokensMs = 1e300, packetsMs = 1e300;
    for (int i = 0; i < 3; ++i) {
        auto start = Clock::now();
        const vqsql::ResultSet rs = embedded.query(kSelectAll);
        queryMs = std::min(queryMs, 1000 * secondsSince(start));
        start = Clock::now();
        vqtds::TokenWriter w(vqtds::TdsVersion::V7_4);
        w.resultSet(rs);
        tokensMs = std::min(tokensMs, 1000 * secondsSince(start));
        start = Clock::now();
        const Bytes packets = vqtds::splitIntoPackets(vqtds::packet_type::TabularResult, w.bytes(),
                                                      vqtds::kDefaultPacketSize);
        packetsMs = std::min(packetsMs, 1000 * secondsSince(start));
    }
    std::printf("whole table in-process: engine query %.1f ms, tokens %.1f ms, packets %.1f ms (%ld rows)\n",
                queryMs, tokensMs, packetsMs, o.rows);
}

Options parseOptions(int argc, char* argv[])
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick") {
            o.quick = true;
            o.rows = 10000;
            o.seconds = 0.1;
        } else if (a == "--rows" && i + 1 < argc) {
            o.rows = std::atol(argv[++i]);
        } else if (a == "--only" && i + 1 < argc) {
            o.only = argv[++i];
            if (o.only != "point" && o.only != "many" && o.only != "table")
                fail("--only takes point, many or table");
        } else if (a == "--seconds" && i + 1 < argc) {
            o.seconds = std::atof(argv[++i]);
        } else {
            fail("unknown argument " + a +
                 " (usage: tds_bench [--quick] [--rows N] [--seconds S] [--only point|many|table])");
        }
    }
    if (o.rows < kPointKey)
        fail("--rows must be at least " + std::to_string(kPointKey));
    return o;
}

int run(const Options& o)
{
    vqbench::TempFolder root("tds-bench");
    const std::string instance = (root.path / "instance").string();
    setenv("VQSQL_HOME", instance.c_str(), 1);
    vqsql::initialiseInstance(instance, kPassword);

    vqsql::Connection embedded;
    embedded.open(vqsql::ConnectionParams{instance, "master", "sa", kPassword});
    embedded.setCommandTimeout(0);
    embedded.execute(std::string("create database ") + kDatabase);
    embedded.execute(std::string("use ") + kDatabase);
    auto start = Clock::now();
    fillVoucher(embedded, o.rows);
    std::printf("tds_bench: %ld voucher rows made in %.1f s; each figure the best of %d slices of %.1f s, "
                "taking turns with its baselines%s\n",
                o.rows, secondsSince(start), o.slices, o.seconds, o.quick ? " (quick)" : "");

    Worker worker;
    auto inThread = worker.run([&] {
        auto c = std::make_unique<vqsql::Connection>();
        c->open(vqsql::ConnectionParams{instance, kDatabase, "sa", kPassword});
        c->setCommandTimeout(0);
        return c;
    });

    vqtdsserver::ServerSettings settings;
    settings.address = "127.0.0.1";
    settings.port = 0;
    settings.maxConnections = o.connections + 10;
    settings.certificateFile = "no-certificate.crt";   // none: connections are not encrypted
    settings.keyFile = "no-certificate.key";
    vqtdsserver::TdsServer server(instance, settings, [](const std::string& line) {
        std::fprintf(stderr, "server: %s\n", line.c_str());
    });
    server.start();
    const int tdsPort = server.port();
    std::printf("TDS server on %s, encryption %s\n", server.listeningOn().c_str(),
                server.encryptionAvailable() ? "available" : "off (no certificate)");

    std::vector<Figure> figures;
    const int warmUp = o.quick ? 50 : 500;
    const std::string point = pointQuery();
    const Bytes pointPackets = packetsOf(vqtds::packet_type::SqlBatch, sqlBatch(point));

    // The point query's sizes on the wire, and the correctness check.
    std::size_t answerBytes = 0;
    {
        TdsClient probe(tdsPort, kDatabase);
        const Bytes& answer = probe.roundTrip(pointPackets);
        checkPointAnswer(answer, nameOf(kPointKey));
        answerBytes = probe.lastWireBytes();
    }
    std::printf("point query: %zu bytes out, %zu bytes back\n", pointPackets.size(), answerBytes);

    EchoServer echo;
    echo.setSizes(pointPackets.size(), answerBytes);

    auto wanted = [&](const char* part) { return o.only.empty() || o.only == part; };

    // a. one connection
    TdsRepeater tdsOneClient{TdsClient(tdsPort, kDatabase), pointPackets};
    EchoClient echoOneClient(echo.port(), pointPackets.size(), answerBytes);
    if (wanted("point")) {
        const std::vector<double> one = bestInTurn(o.slices, {
            [&] { return roundsPerSecond(o.seconds, warmUp, [&] { tdsOneClient.roundTrip(); }); },
            [&] { return roundsPerSecond(o.seconds, warmUp, [&] { echoOneClient.roundTrip(); }); },
            [&] {
                return worker.run([&] {
                    return roundsPerSecond(o.seconds, warmUp, [&] {
                        if (inThread->query(point).rows.size() != 1)
                            fail("the embedded point query did not find its row");
                    });
                });
            },
        });
        figures.push_back({"point query, 1 connection", "round trips/s", one[0], "echo", one[1], 0.5});
        figures.push_back({"point query, 1 connection", "round trips/s", one[0], "embedded", one[2], 0});
    }

    // b. many connections
    const int perClientWarmUp = o.quick ? 5 : 50;
    if (wanted("many")) {
        const std::vector<double> many = bestInTurn(o.slices, {
            [&] {
                return concurrentRoundsPerSecond(o.connections, o.seconds, perClientWarmUp, [&] {
                    return TdsRepeater{TdsClient(tdsPort, kDatabase), pointPackets};
                });
            },
            [&] {
                return concurrentRoundsPerSecond(o.connections, o.seconds, perClientWarmUp, [&] {
                    return EchoClient(echo.port(), pointPackets.size(), answerBytes);
                });
            },
        });
        figures.push_back({"point query, " + std::to_string(o.connections) + " connections", "round trips/s", many[0],
                           "echo", many[1], 0});
    }

    // c. the whole table
    if (wanted("table")) {
        const Bytes allPackets = packetsOf(vqtds::packet_type::SqlBatch, sqlBatch(kSelectAll));
        TdsClient tableClient(tdsPort, kDatabase);
        auto tdsTable = [&] {
            const Bytes& answer = tableClient.roundTrip(allPackets);
            const FinalDone done = TdsClient::finalDone(answer);
            if ((done.status & 0x02) || done.count != static_cast<std::uint64_t>(o.rows) || answer[0] != 0x81)
                fail("the whole-table answer is not a result set of every row");
        };
        tdsTable();
        const std::size_t tableBytes = tableClient.lastWireBytes();
        std::printf("whole table: %zu bytes back (%.1f MB, %.0f bytes a row)\n", tableBytes, tableBytes / 1e6,
                    double(tableBytes) / o.rows);
        echo.setSizes(allPackets.size(), tableBytes);
        EchoClient echoTableClient(echo.port(), allPackets.size(), tableBytes);
        const std::vector<double> table = bestInTurn(o.slices, {
            [&] { return o.rows * roundsPerSecond(o.seconds, 1, tdsTable); },
            [&] {
                return worker.run([&] {
                    return o.rows * roundsPerSecond(o.seconds, 1, [&] {
                        if (inThread->query(kSelectAll).rows.size() != static_cast<std::size_t>(o.rows))
                            fail("the embedded whole-table query lost rows");
                    });
                });
            },
            [&] { return o.rows * roundsPerSecond(o.seconds, 1, [&] { echoTableClient.roundTrip(); }); },
        });
        worker.run([&] { printTableSplit(*inThread, o); });
    const std::string tableName = "whole table, " + std::to_string(o.rows) + " rows";
        figures.push_back({tableName, "rows/s", table[0], "embedded", table[1], 0.5});
        figures.push_back({tableName, "rows/s", table[0], "echo", table[2], 0});
    }

    server.stop();
    worker.run([&] { inThread.reset(); });
    printFigures(figures);
    std::printf("\nThe echo baseline sends and reads as many bytes as TDS, a thread per connection like the\n"
                "server; \"embedded\" is Connection::query of the same text in this process, on a thread\n"
                "of its own as the server's sessions have.\n");
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    try {
        return run(parseOptions(argc, argv));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tds_bench: %s\n", e.what());
        return 1;
    }
}
