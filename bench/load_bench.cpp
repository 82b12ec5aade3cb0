// load_bench: a load test of the server's connection service. Starts
// load_bench_host (beside this program), which runs the service on a
// throwaway catalogue and an echo server as the baseline, and drives both
// with N concurrent clients on plain blocking sockets.
//
//   load_bench [--rounds R] [--limit S] [--grace G] [--log-rows A,B,...] [--hostile] [N ...]
//                              default: 2000 9 4  0,1000000  1 50 200
//
// Each log size runs in a host of its own whose login log is filled with
// that many rows first (bench/clientlogfill.h); at the end the service's
// rounds per second with each size are set against those with the first.
//
// For each N the R rounds are split over N client threads, first against
// the service, then against the echo server. A client starts no round
// after S seconds, and a round still under way G seconds later is cut off
// (counted apart, its latency so far kept as a lower bound), so one run
// stays short however slow the server. One round is what a desktop client
// does at log-in:
//
//   connect to 127.0.0.1
//   send a handshake (type 1) and read the whole answer (nine separators);
//     the time from the send to the last byte is the handshake latency
//     (the time of connect() is shown apart)
//   send a login report (type 2), shut down the sending side and read
//     until the server closes (the echo server sends the report back first)
//   close
//
// Throughput is the completed rounds (each one handshake and one login
// report) over the wall time of the whole run, from the start of the first
// round to the end of the last. At the end the host's count of login log
// rows is shown.
//
// With --hostile each N runs against the service a second time with a
// hostile client beside the N: a thread that, for as long as the clients
// run, keeps opening connections and sending malformed messages (short
// records of type 1 and 2, random bytes, a handshake dribbled one byte at
// a time, a 200 KB message), closing each connection and opening the next.
// The well-behaved clients' rates and latencies without and with it are
// shown side by side.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// 127.0.0.1 at the given port.
sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

using Clock = std::chrono::steady_clock;

const std::string kSeparator("\x0A\x1A", 2);
constexpr int kFields = 9;

double msSince(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The wire record: the nine fields, each followed by the separator.
std::string record(int type, const std::vector<std::string>& texts)
{
    std::string out = std::to_string(type) + kSeparator + "0" + kSeparator + "0" + kSeparator;
    for (int i = 0; i < 6; ++i)
        out += (i < int(texts.size()) && !texts[i].empty() ? texts[i] : "null") + kSeparator;
    return out;
}

int countSeparators(const std::string& text)
{
    int n = 0;
    for (std::size_t at = text.find(kSeparator); at != std::string::npos; at = text.find(kSeparator, at + 2))
        ++n;
    return n;
}

bool sendAll(int fd, const std::string& data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += std::size_t(n);
    }
    return true;
}

// A latency; `cut` marks one the time limit ended before it was over (its
// value is then only a lower bound).
struct Sample {
    double ms = 0;
    bool cut = false;
};

// What one client thread measured.
struct ClientResult {
    std::vector<Sample> connectMs;
    std::vector<Sample> handshakeMs;
    std::vector<Sample> reportMs;
    int rounds = 0;
    int failures = 0;   // errors: refused, reset, closed early
    int cutOff = 0;     // rounds still waiting when the time was up
    std::string firstError;
};

// Blocking calls wait at most until the hard end of the run; a call that
// runs into it fails with EAGAIN (EINPROGRESS for connect).
bool waitUntil(int fd, Clock::time_point end)
{
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()).count();
    if (left <= 0)
        return false;
    timeval timeout{time_t(left / 1000000), suseconds_t(left % 1000000)};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    return true;
}

bool timedOut(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS || error == ETIMEDOUT;
}

// Ends a round that did not complete: the phase under way is recorded as
// cut off when the time ran out, anything else is a failure.
void giveUp(ClientResult& r, const char* what, std::vector<Sample>& phase, Clock::time_point since)
{
    const int error = errno;
    if (timedOut(error) || error == 0) {
        phase.push_back(Sample{msSince(since, Clock::now()), true});
        ++r.cutOff;
        return;
    }
    if (r.firstError.empty())
        r.firstError = std::string(what) + ": " + std::strerror(error);
    ++r.failures;
}

// One log-in round against the server on `port`.
void oneRound(int port, int client, int round, Clock::time_point end, ClientResult& r)
{
    const Clock::time_point start = Clock::now();
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        giveUp(r, "socket", r.connectMs, start);
        return;
    }
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const sockaddr_in address = loopback(port);
    errno = 0;
    if (!waitUntil(fd, end) || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        giveUp(r, "connect", r.connectMs, start);
        return;
    }
    const Clock::time_point connected = Clock::now();
    r.connectMs.push_back(Sample{msSince(start, connected)});

    const std::string tag = std::to_string(client) + "-" + std::to_string(round);
    const std::string handshake = record(1, {"", "WS-" + tag, "Bench Workstation", "1.0.0", "bench", "hello"});
    std::string answer;
    char buffer[4096];
    errno = 0;
    bool ok = waitUntil(fd, end) && sendAll(fd, handshake);
    while (ok && countSeparators(answer) < kFields) {
        const ssize_t n = waitUntil(fd, end) ? recv(fd, buffer, sizeof buffer, 0) : -1;
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ECONNRESET;
        ok = n > 0;
        if (ok)
            answer.append(buffer, std::size_t(n));
    }
    if (!ok) {
        giveUp(r, "handshake", r.handshakeMs, connected);
        return;
    }
    const Clock::time_point answered = Clock::now();
    r.handshakeMs.push_back(Sample{msSince(connected, answered)});

    const std::string report = record(2, {"", "VQTCW_" + std::to_string(client % 10 + 1), "Bench Trading Co.",
                                          "operator" + std::to_string(client), "", ""});
    errno = 0;
    ok = waitUntil(fd, end) && sendAll(fd, report) && shutdown(fd, SHUT_WR) == 0;
    for (;;) {
        if (!ok)
            break;
        const ssize_t n = waitUntil(fd, end) ? recv(fd, buffer, sizeof buffer, 0) : -1;
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            break;
        ok = n > 0;
    }
    if (!ok) {
        giveUp(r, "login report", r.reportMs, answered);
        return;
    }
    r.reportMs.push_back(Sample{msSince(answered, Clock::now())});
    ++r.rounds;
}

struct RunResult {
    double seconds = 0;
    int rounds = 0;
    int failures = 0;
    int cutOff = 0;
    long long listenOverflows = -1;   // during the run, see listenOverflows()
    std::string firstError;
    std::vector<Sample> connectMs, handshakeMs, reportMs;

    double perSecond() const { return seconds > 0 ? rounds / seconds : 0; }
};

// The p-quantile of the samples (nearest rank); a cut-off sample there
// makes it a lower bound.
Sample percentile(std::vector<Sample> samples, double p)
{
    if (samples.empty())
        return Sample{NAN, false};
    std::sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.ms < b.ms; });
    std::size_t index = std::size_t(std::ceil(p * double(samples.size())));
    index = std::clamp<std::size_t>(index, 1, samples.size()) - 1;
    return samples[index];
}

// The kernel's count of connections dropped because a listen queue was
// full (TcpExt ListenOverflows), -1 when it cannot be read. It covers the
// whole network namespace, not only this run.
long long listenOverflows()
{
    FILE* f = std::fopen("/proc/net/netstat", "r");
    if (!f)
        return -1;
    char names[4096], values[4096];
    long long result = -1;
    while (result < 0 && std::fgets(names, sizeof names, f) && std::fgets(values, sizeof values, f)) {
        if (std::strncmp(names, "TcpExt:", 7) != 0)
            continue;
        char* nameSave = nullptr;
        char* valueSave = nullptr;
        for (char *name = strtok_r(names, " \n", &nameSave), *value = strtok_r(values, " \n", &valueSave);
             name && value; name = strtok_r(nullptr, " \n", &nameSave), value = strtok_r(nullptr, " \n", &valueSave))
            if (std::strcmp(name, "ListenOverflows") == 0)
                result = std::atoll(value);
    }
    std::fclose(f);
    return result;
}


// ---- the hostile client -----------------------------------------------------

// What the hostile client did during one run.
struct HostileStats {
    long long connections = 0;
    long long shortHandshakes = 0;   // type 1, fewer than nine fields
    long long shortReports = 0;      // type 2, fewer than nine fields
    long long randomBytes = 0;
    long long dribbled = 0;          // a handshake sent one byte at a time
    long long oversized = 0;         // a 200 KB message
    long long bytes = 0;
    long long failures = 0;          // connections refused or reset, sends cut off
};

// A connection to 127.0.0.1:port whose blocking calls give up after
// `timeoutMs`; -1 when it cannot be made.
int hostileConnect(int port, int timeoutMs)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    timeval timeout{time_t(timeoutMs / 1000), suseconds_t(timeoutMs % 1000 * 1000)};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const sockaddr_in address = loopback(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The fields joined, each followed by the separator.
std::string joinFields(const std::vector<std::string>& fields)
{
    std::string out;
    for (const std::string& f : fields)
        out += f + kSeparator;
    return out;
}

// Until `stop` is set: a new connection, one malformed message on it, and
// the connection closed without reading what the server answered, over
// and over through the kinds of message in turn.
void hostileClient(int port, const std::atomic<bool>& stop, HostileStats& stats)
{
    std::mt19937 random(20260514u);
    for (unsigned turn = 0; !stop.load(std::memory_order_relaxed); ++turn) {
        const int fd = hostileConnect(port, 1000);
        if (fd < 0) {
            ++stats.failures;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        ++stats.connections;
        bool ok = true;
        switch (turn % 5) {
        case 0: {   // a handshake of four fields
            const std::string text = joinFields({"1", "0", "0", "null"});
            ok = sendAll(fd, text);
            stats.bytes += static_cast<long long>(text.size());
            ++stats.shortHandshakes;
            break;
        }
        case 1: {   // a login report of three fields, the last without its separator
            const std::string text = joinFields({"2", "0"}) + "0";
            ok = sendAll(fd, text);
            stats.bytes += static_cast<long long>(text.size());
            ++stats.shortReports;
            break;
        }
        case 2: {   // random bytes
            std::string text(1 + random() % 2048, '\0');
            for (char& c : text)
                c = char(random() % 256);
            ok = sendAll(fd, text);
            stats.bytes += static_cast<long long>(text.size());
            ++stats.randomBytes;
            break;
        }
        case 3: {   // a whole handshake, one byte at a time
            const std::string text = record(1, {"", "WS-hostile", "Hostile", "1.0.0", "bench", "slow"});
            for (std::size_t i = 0; ok && i < text.size() && !stop.load(std::memory_order_relaxed); ++i) {
                ok = sendAll(fd, text.substr(i, 1));
                stats.bytes += ok ? 1 : 0;
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
            ++stats.dribbled;
            break;
        }
        default: {   // a handshake whose fourth field takes 200 KB
            const std::string text = record(1, {"", std::string(200 * 1024, 'H'), "b", "c", "d", "e"});
            ok = sendAll(fd, text);
            stats.bytes += static_cast<long long>(text.size());
            ++stats.oversized;
            break;
        }
        }
        if (!ok)
            ++stats.failures;
        close(fd);
    }
}

// N clients, each running its rounds until they are done or `limit` has
// passed; a round under way at that point gets `grace` more to finish.
// With `hostile` the hostile client runs beside them from their start to
// the end of the last one, and what it did goes there.
RunResult runClients(int port, int clients, int roundsPerClient, double limit, double grace,
                     HostileStats* hostile = nullptr)
{
    std::vector<ClientResult> results(static_cast<std::size_t>(clients));
    std::vector<std::thread> threads;
    std::latch ready(clients + 1);
    std::atomic<bool> go{false};
    Clock::time_point start;
    auto after = [&](double seconds) {
        return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    };
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            ready.count_down();
            while (!go.load(std::memory_order_acquire))
                std::this_thread::yield();
            const Clock::time_point last = after(limit), end = after(limit + grace);
            for (int i = 0; i < roundsPerClient && Clock::now() < last; ++i)
                oneRound(port, c, i, end, results[std::size_t(c)]);
        });
    }
    ready.arrive_and_wait();
    const long long overflowsBefore = listenOverflows();
    start = Clock::now();
    go.store(true, std::memory_order_release);
    std::atomic<bool> stopHostile{false};
    std::thread hostileThread;
    if (hostile)
        hostileThread = std::thread([&] { hostileClient(port, stopHostile, *hostile); });
    for (std::thread& t : threads)
        t.join();
    const Clock::time_point finished = Clock::now();
    stopHostile.store(true, std::memory_order_relaxed);
    if (hostileThread.joinable())
        hostileThread.join();

    RunResult run;
    run.seconds = std::chrono::duration<double>(finished - start).count();
    const long long overflowsAfter = listenOverflows();
    run.listenOverflows = overflowsBefore < 0 || overflowsAfter < 0 ? -1 : overflowsAfter - overflowsBefore;
    for (ClientResult& r : results) {
        run.rounds += r.rounds;
        run.failures += r.failures;
        run.cutOff += r.cutOff;
        if (run.firstError.empty())
            run.firstError = r.firstError;
        run.connectMs.insert(run.connectMs.end(), r.connectMs.begin(), r.connectMs.end());
        run.handshakeMs.insert(run.handshakeMs.end(), r.handshakeMs.begin(), r.handshakeMs.end());
        run.reportMs.insert(run.reportMs.end(), r.reportMs.begin(), r.reportMs.end());
    }
    return run;
}

// ---- the host process ----------------------------------------------------

struct Host {
    pid_t pid = -1;
    int input = -1;    // its standard input; closing it asks it to stop
    FILE* output = nullptr;
};

bool startHost(const std::string& path, Host& host)
{
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
        std::perror("pipe2");
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    const int rc = posix_spawn(&host.pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (rc != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", path.c_str(), std::strerror(rc));
        close(in[1]);
        close(out[0]);
        return false;
    }
    host.input = in[1];
    host.output = fdopen(out[0], "r");
    return true;
}

// Asks the host to stop (its input closes), waits for it and returns the
// line it printed on the way out; SIGTERM after ten seconds.
std::string stopHost(Host& host)
{
    if (host.input >= 0)
        close(host.input);
    host.input = -1;
    std::string last;
    char line[256];
    while (host.output && std::fgets(line, sizeof line, host.output))
        last = line;
    if (host.output)
        std::fclose(host.output);
    host.output = nullptr;
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(host.pid, &status, WNOHANG) == host.pid)
            return last;
        usleep(100 * 1000);
    }
    kill(host.pid, SIGTERM);
    waitpid(host.pid, &status, 0);
    return last;
}

std::string besideThisProgram(const char* name)
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return name;
    std::string path(self, std::size_t(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}

// One N's table. Ratios are service/echo for latencies and echo/service
// for rates, so that each reads as "times worse"; ">" marks a lower bound
// (the quantile fell on a round the time limit cut off).
void printRun(int clients, int roundsPerClient, const RunResult& service, const RunResult& echo)
{
    std::printf("\nN = %d clients, up to %d rounds each (%d rounds)\n", clients, roundsPerClient,
                clients * roundsPerClient);
    std::printf("  %-24s %12s %12s %12s\n", "", "service", "echo", "ratio");
    auto rate = [&](const char* name, double s, double e) {
        std::printf("  %-24s %12.1f %12.1f %11.1fx\n", name, s, e, s > 0 ? e / s : NAN);
    };
    auto cell = [](const Sample& v) {
        char text[32];
        std::snprintf(text, sizeof text, "%s%.3f", v.cut ? ">" : "", v.ms);
        return std::string(text);
    };
    auto latency = [&](const char* name, const std::vector<Sample>& service, const std::vector<Sample>& echo,
                       double p) {
        const Sample s = percentile(service, p), e = percentile(echo, p);
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, "%s%.1fx", s.cut && !e.cut ? ">" : "", e.ms > 0 ? s.ms / e.ms : NAN);
        std::printf("  %-24s %12s %12s %12s\n", name, cell(s).c_str(), cell(e).c_str(), ratio);
    };
    rate("handshakes/s", service.perSecond(), echo.perSecond());
    rate("login reports/s", service.perSecond(), echo.perSecond());
    latency("handshake p99 ms", service.handshakeMs, echo.handshakeMs, 0.99);
    latency("handshake p50 ms", service.handshakeMs, echo.handshakeMs, 0.50);
    latency("connect p99 ms", service.connectMs, echo.connectMs, 0.99);
    latency("report to close p99 ms", service.reportMs, echo.reportMs, 0.99);
    std::printf("  %-24s %12d %12d\n", "rounds completed", service.rounds, echo.rounds);
    std::printf("  %-24s %12d %12d\n", "rounds cut off", service.cutOff, echo.cutOff);
    std::printf("  %-24s %12d %12d\n", "failures", service.failures, echo.failures);
    std::printf("  %-24s %12lld %12lld\n", "listen queue overflows", service.listenOverflows, echo.listenOverflows);
    std::printf("  %-24s %12.2f %12.2f\n", "wall time s", service.seconds, echo.seconds);
    if (!service.firstError.empty())
        std::printf("  service, first failure: %s\n", service.firstError.c_str());
    if (!echo.firstError.empty())
        std::printf("  echo, first failure: %s\n", echo.firstError.c_str());
    std::fflush(stdout);
}



// The N clients against the service without and with the hostile client
// beside them. Ratios read as "times worse": quiet/hostile for rates,
// hostile/quiet for latencies.
struct HostileComparison {
    long logRows = 0;
    int clients = 0;
    double quietRate = 0, hostileRate = 0;
    Sample quietHandshakeP99, hostileHandshakeP99;
    Sample quietReportP99, hostileReportP99;
};

HostileComparison printHostileRun(long logRows, int clients, const RunResult& quiet, const RunResult& besieged,
                                  const HostileStats& hostile)
{
    HostileComparison c{logRows,
                        clients,
                        quiet.perSecond(),
                        besieged.perSecond(),
                        percentile(quiet.handshakeMs, 0.99),
                        percentile(besieged.handshakeMs, 0.99),
                        percentile(quiet.reportMs, 0.99),
                        percentile(besieged.reportMs, 0.99)};
    std::printf("\nN = %d clients against the service, without and with a hostile client beside them\n", clients);
    std::printf("  %-24s %12s %12s %12s\n", "", "quiet", "hostile", "ratio");
    std::printf("  %-24s %12.1f %12.1f %11.1fx\n", "rounds/s", c.quietRate, c.hostileRate,
                c.hostileRate > 0 ? c.quietRate / c.hostileRate : NAN);
    auto latency = [](const char* name, const Sample& q, const Sample& h) {
        char qt[32], ht[32], ratio[32];
        std::snprintf(qt, sizeof qt, "%s%.3f", q.cut ? ">" : "", q.ms);
        std::snprintf(ht, sizeof ht, "%s%.3f", h.cut ? ">" : "", h.ms);
        std::snprintf(ratio, sizeof ratio, "%s%.1fx", h.cut && !q.cut ? ">" : "", q.ms > 0 ? h.ms / q.ms : NAN);
        std::printf("  %-24s %12s %12s %12s\n", name, qt, ht, ratio);
    };
    latency("handshake p99 ms", c.quietHandshakeP99, c.hostileHandshakeP99);
    latency("handshake p50 ms", percentile(quiet.handshakeMs, 0.5), percentile(besieged.handshakeMs, 0.5));
    latency("connect p99 ms", percentile(quiet.connectMs, 0.99), percentile(besieged.connectMs, 0.99));
    latency("report to close p99 ms", c.quietReportP99, c.hostileReportP99);
    std::printf("  %-24s %12d %12d\n", "rounds completed", quiet.rounds, besieged.rounds);
    std::printf("  %-24s %12d %12d\n", "rounds cut off", quiet.cutOff, besieged.cutOff);
    std::printf("  %-24s %12d %12d\n", "failures", quiet.failures, besieged.failures);
    std::printf("  %-24s %12.2f %12.2f\n", "wall time s", quiet.seconds, besieged.seconds);
    if (!besieged.firstError.empty())
        std::printf("  with the hostile client, first failure: %s\n", besieged.firstError.c_str());
    std::printf("  hostile client: %lld connections, %lld short handshakes, %lld short login reports, "
                "%lld random, %lld dribbled, %lld of 200 KB; %.1f MB sent, %lld failures\n",
                hostile.connections, hostile.shortHandshakes, hostile.shortReports, hostile.randomBytes,
                hostile.dribbled, hostile.oversized, double(hostile.bytes) / 1e6, hostile.failures);
    std::fflush(stdout);
    return c;
}

// One host: its login log filled with `logRows` rows first; the service's
// rounds per second for each client count (0 when the host failed). With
// `hostile` each count runs once more with the hostile client beside it,
// and the comparison goes to `comparisons`.
std::vector<double> runAgainstLog(long logRows, const std::vector<int>& counts, int totalRounds, double limitSeconds,
                                  double graceSeconds, bool hostile, std::vector<HostileComparison>& comparisons)
{
    std::vector<double> rates;
    setenv("VQ_LOAD_LOG_ROWS", std::to_string(logRows).c_str(), 1);
    Host host;
    if (!startHost(besideThisProgram("load_bench_host"), host))
        return rates;
    char line[256] = {};
    int servicePort = 0, echoPort = 0;
    if (!std::fgets(line, sizeof line, host.output) || std::sscanf(line, "ports %d %d", &servicePort, &echoPort) != 2) {
        std::fprintf(stderr, "the host did not report its ports\n");
        stopHost(host);
        return rates;
    }
    std::printf("\n==== login log of %ld rows ====\n", logRows);
    std::printf("service on port %d, echo server on port %d; %d rounds per run, new rounds for %g s, "
                "then %g s to finish\n",
                servicePort, echoPort, totalRounds, limitSeconds, graceSeconds);

    // A few rounds first, so that neither side starts cold.
    runClients(servicePort, 1, 20, limitSeconds, graceSeconds);
    runClients(echoPort, 1, 20, limitSeconds, graceSeconds);

    for (int clients : counts) {
        const int roundsPerClient = std::max(1, totalRounds / clients);
        const RunResult service = runClients(servicePort, clients, roundsPerClient, limitSeconds, graceSeconds);
        const RunResult echo = runClients(echoPort, clients, roundsPerClient, limitSeconds, graceSeconds);
        printRun(clients, roundsPerClient, service, echo);
        rates.push_back(service.perSecond());
        if (hostile) {
            HostileStats stats;
            const RunResult besieged =
                runClients(servicePort, clients, roundsPerClient, limitSeconds, graceSeconds, &stats);
            comparisons.push_back(printHostileRun(logRows, clients, service, besieged, stats));
        }
    }

    const std::string last = stopHost(host);
    int rows = 0;
    if (std::sscanf(last.c_str(), "rows %d", &rows) == 1)
        std::printf("\nlogin log rows at the end: %d\n", rows);
    return rates;
}

// "0,1000000" as its numbers.
std::vector<long> numberList(const std::string& text)
{
    std::vector<long> out;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t comma = text.find(',', at);
        const std::string item = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (!item.empty())
            out.push_back(std::atol(item.c_str()));
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
    return out;
}

}  // namespace

int main(int argc, char* argv[])
{
    int totalRounds = 2000;
    double limitSeconds = 9;
    double graceSeconds = 4;
    std::vector<int> counts;
    std::vector<long> logSizes = {0, 1000000};
    bool hostile = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc)
            totalRounds = std::atoi(argv[++i]);
        else if (arg == "--limit" && i + 1 < argc)
            limitSeconds = std::atof(argv[++i]);
        else if (arg == "--grace" && i + 1 < argc)
            graceSeconds = std::atof(argv[++i]);
        else if (arg == "--log-rows" && i + 1 < argc)
            logSizes = numberList(argv[++i]);
        else if (arg == "--hostile")
            hostile = true;
        else if (std::atoi(arg.c_str()) > 0)
            counts.push_back(std::atoi(arg.c_str()));
        else {
            std::fprintf(stderr,
                         "usage: %s [--rounds R] [--limit S] [--grace G] [--log-rows A,B,...] [--hostile] [N ...]\n",
                         argv[0]);
            return 2;
        }
    }
    if (counts.empty())
        counts = {1, 50, 200};
    if (logSizes.empty())
        logSizes = {0};
    signal(SIGPIPE, SIG_IGN);

    std::vector<std::vector<double>> rates;
    std::vector<HostileComparison> comparisons;
    for (long rows : logSizes) {
        rates.push_back(runAgainstLog(rows, counts, totalRounds, limitSeconds, graceSeconds, hostile, comparisons));
        if (rates.back().size() != counts.size())
            return 1;
    }

    // The service's rate with each log size against its rate with the first.
    std::printf("\n==== rounds per second by login log size (ratio to %ld rows; target at least 0.8) ====\n",
                logSizes.front());
    std::printf("  %10s", "clients");
    for (long rows : logSizes)
        std::printf(" %14ld %7s", rows, "ratio");
    std::printf("\n");
    for (std::size_t c = 0; c < counts.size(); ++c) {
        std::printf("  %10d", counts[c]);
        for (std::size_t l = 0; l < logSizes.size(); ++l)
            std::printf(" %14.1f %7.2f", rates[l][c], rates[0][c] > 0 ? rates[l][c] / rates[0][c] : NAN);
        std::printf("\n");
    }

    // The well-behaved clients without and with the hostile client beside them.
    if (!comparisons.empty()) {
        std::printf("\n==== the N clients without and with a hostile client (ratios: times worse) ====\n");
        std::printf("  %9s %7s | %9s %9s %6s | %12s %12s %7s | %12s %12s %7s\n", "log rows", "clients", "rounds/s",
                    "hostile", "ratio", "hs p99 ms", "hostile", "ratio", "report p99", "hostile", "ratio");
        auto cell = [](const Sample& v) {
            char text[32];
            std::snprintf(text, sizeof text, "%s%.2f", v.cut ? ">" : "", v.ms);
            return std::string(text);
        };
        for (const HostileComparison& c : comparisons)
            std::printf("  %9ld %7d | %9.1f %9.1f %6.1f | %12s %12s %7.1f | %12s %12s %7.1f\n", c.logRows, c.clients,
                        c.quietRate, c.hostileRate, c.hostileRate > 0 ? c.quietRate / c.hostileRate : NAN,
                        cell(c.quietHandshakeP99).c_str(), cell(c.hostileHandshakeP99).c_str(),
                        c.quietHandshakeP99.ms > 0 ? c.hostileHandshakeP99.ms / c.quietHandshakeP99.ms : NAN,
                        cell(c.quietReportP99).c_str(), cell(c.hostileReportP99).c_str(),
                        c.quietReportP99.ms > 0 ? c.hostileReportP99.ms / c.quietReportP99.ms : NAN);
    }
    return 0;
}
