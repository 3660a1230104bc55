// Gerar_Oid's procedure (atualoid) called from several processes at once on one database, the way
// several servers share it: identifiers per second in all, the 99th-percentile call time, and a check
// that no identifier was handed out twice. It uses only the provider interface, so the same source
// builds against another tree's libraries (bench/oid-bench.sh runs main's build beside this one).
//   oid_bench sqlite FILE|CONNECTION-STRING [PROCESSES] [SECONDS]
//   oid_bench postgresql CONNECTION-STRING [PROCESSES] [SECONDS]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "data_access/providers/provider.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace data = orvan::data;

// One process's share: calls atualoid until the time is up and writes each identifier and its call
// time (microseconds) to out.
int worker(const std::string& cs, double seconds, FILE* out) {
    try {
        auto s = data::openSession(data::ConnectionString::parse(cs), 30);
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) {
            data::ProcedureParam p{"novooid", 2, data::adtype::Integer, orvan::com::Variant()};
            const auto t0 = Clock::now();
            s->callProcedure("atualoid", std::span<data::ProcedureParam>(&p, 1), 30);
            const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count();
            std::fprintf(out, "%d %lld\n", p.value.rawInt(), static_cast<long long>(us));
        }
    } catch (const orvan::com::ComError& e) {
        std::fprintf(stderr, "worker: %s\n", e.description().c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: oid_bench sqlite FILE | postgresql CONNECTION-STRING [PROCESSES] [SECONDS]\n");
        return 2;
    }
    const std::string engine = argv[1];
    // SQLite: a file, or a whole connection string (to give it settings of its own).
    const std::string target = argv[2];
    const bool file = engine == "sqlite" && target.find("Data Source=") == std::string::npos;
    const std::string cs = file ? "Provider=SQLite;Data Source=" + target : target;
    const int processes = argc > 3 ? std::atoi(argv[3]) : 4;
    const double seconds = argc > 4 ? std::atof(argv[4]) : 5.0;

    std::vector<std::string> files;
    std::vector<pid_t> children;
    const auto start = Clock::now();
    for (int i = 0; i < processes; ++i) {
        files.push_back("/tmp/oid_bench_" + std::to_string(::getpid()) + "_" + std::to_string(i));
        const pid_t pid = ::fork();
        if (pid == 0) {
            FILE* out = std::fopen(files.back().c_str(), "w");
            const int rc = out ? worker(cs, seconds, out) : 1;
            if (out) std::fclose(out);
            std::_Exit(rc);
        }
        children.push_back(pid);
    }
    bool failed = false;
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        failed = failed || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    std::set<int> ids;
    std::vector<long long> times;
    std::size_t calls = 0;
    for (const auto& f : files) {
        FILE* in = std::fopen(f.c_str(), "r");
        int id = 0;
        long long us = 0;
        while (in && std::fscanf(in, "%d %lld", &id, &us) == 2) {
            ids.insert(id);
            times.push_back(us);
            ++calls;
        }
        if (in) std::fclose(in);
        std::remove(f.c_str());
    }
    std::sort(times.begin(), times.end());
    const long long p99 = times.empty() ? 0 : times[std::min(times.size() - 1, times.size() * 99 / 100)];
    std::printf("%s processes=%d ids=%zu ids/s=%.0f p99_us=%lld duplicates=%zu%s\n", engine.c_str(), processes, calls,
                calls / elapsed, p99, calls - ids.size(), failed ? " (a worker failed)" : "");
    return failed || calls != ids.size() ? 1 : 0;
}
