#include "cli/commands/render_job.h"

#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>

#include "cli/atomic_file.h"
#include "refhost/host_pool.h"

namespace cli {

std::atomic<bool> interruptRequested{false};
std::atomic<int> interruptSignal{0};

RenderInterrupted::RenderInterrupted(const std::string& output, int signal)
    : MediaError(output + ": interrupted by " +
                 std::string(signal == SIGTERM ? "SIGTERM" : "SIGINT") + "; nothing written"),
      signal_(signal != 0 ? signal : SIGINT) {}

namespace {

extern "C" void OnInterrupt(int signal) {
  interruptSignal.store(signal);
  interruptRequested.store(true);
}

struct RenderedFrame {
  refhost::Picture picture;
  std::vector<std::string> console;
  bool ok = true;
  std::string error;
};

void ShowProgress(int done, int total, std::chrono::steady_clock::time_point start) {
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double fps = seconds > 0 ? done / seconds : 0.0;
  int eta = fps > 0 ? static_cast<int>((total - done) / fps) : 0;
  std::fprintf(stderr, "\rframe %d/%d  %.1f fps  ETA %02d:%02d ", done, total, fps, eta / 60,
               eta % 60);
  std::fflush(stderr);
}

// Every field render allocates and frees the same few large blocks (fields,
// masks). glibc gives blocks that large back to the system on every free and
// faults them in again on the next render, which costs more than the render's
// arithmetic; keep them in the heap instead.
void KeepFreedBlocks() {
#if defined(__GLIBC__)
  constexpr int kLargestMappedBlock = 32 << 20;
  constexpr int kKeptAtTop = 512 << 20;
  mallopt(M_MMAP_THRESHOLD, kLargestMappedBlock);
  mallopt(M_TRIM_THRESHOLD, kKeptAtTop);
#endif
}

}  // namespace

void InstallInterruptHandlers() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
}

int RunRenderJob(Session& session, const RenderJob& job) {
  const refhost::ProjectSettings& settings = session.Settings();
  const int first = job.first;
  const int last = job.last < 0 ? settings.totalFrames - 1 : job.last;
  const int total = last - first + 1;
  const int jobs = std::max(1, job.jobs);
  KeepFreedBlocks();

  // The console file is an output like OUT: written under a temporary name
  // and given its own only when the whole render succeeded.
  std::unique_ptr<AtomicFile> consoleTarget;
  std::ofstream consoleFile;
  if (!job.consolePath.empty()) {
    consoleTarget = std::make_unique<AtomicFile>(job.consolePath, AtomicFile::Replace::kAllowed);
    consoleFile.open(consoleTarget->TemporaryPath(), std::ios::binary | std::ios::trunc);
    if (!consoleFile) {
      throw FileError(job.consolePath, std::string("cannot write: ") + std::strerror(errno));
    }
  }
  auto checkConsole = [&] {
    if (consoleTarget && !consoleFile) {
      throw FileError(job.consolePath, std::string("cannot write: ") + std::strerror(errno));
    }
  };

  // One effect instance per thread, each rendering its own frames.
  refhost::HostPool hosts([&session] { return session.NewHost(); });
  hosts.Prepare(static_cast<size_t>(jobs));

  MediaWriter writer(job.output, settings.width, settings.height, session.FrameRate(),
                     session.OutputFieldOrder(), job.writer);
  const auto start = std::chrono::steady_clock::now();

  auto render = [&](refhost::EffectHost& host, int frame, RenderedFrame& slot) {
    host.ConsoleLines().clear();
    try {
      slot.ok = host.RenderFrame(frame, slot.picture);
      slot.error.clear();
    } catch (const std::exception& error) {
      slot.ok = false;
      slot.error = error.what();
    }
    slot.console = host.ConsoleLines();
  };
  // Frames leave in order: console lines first, then the picture.
  int written = 0;
  auto put = [&](int frame, RenderedFrame& slot) {
    for (const std::string& line : slot.console) {
      if (consoleFile.is_open()) consoleFile << line;
      if (job.consoleToStderr) std::fputs(line.c_str(), stderr);
    }
    checkConsole();
    if (!slot.ok) {
      writer.Abort();
      throw MediaError("frame " + std::to_string(frame) + ": the effect could not render it" +
                       (slot.error.empty() ? std::string(" (a source frame was not delivered)")
                                           : ": " + slot.error));
    }
    writer.Write(slot.picture.pixels.data(), slot.picture.width * 4);
    ++written;
    if (job.progress && (written % jobs == 0 || written == total)) {
      ShowProgress(written, total, start);
    }
  };

  if (jobs == 1) {
    RenderedFrame slot;
    refhost::HostPool::Lease host = hosts.Acquire();
    for (int frame = first; frame <= last && !interruptRequested.load(); ++frame) {
      render(*host, frame, slot);
      put(frame, slot);
    }
  } else {
    // Each thread takes the next run of frames not yet taken and renders each
    // once it is within a window of the frame being written; this thread
    // writes the frames in order as they complete, so rendering never waits
    // for writing and no thread waits for a whole batch. Runs, because at
    // slow speeds neighbouring output frames share source frames, which one
    // thread then finds in the reader's cache instead of waiting while
    // another thread decodes them.
    const int kRun = 4;
    const int window = jobs * kRun;
    std::vector<RenderedFrame> slots(window);
    std::vector<char> ready(window, 0);
    std::mutex mutex;
    std::condition_variable changed;
    int nextToTake = first;
    int nextToWrite = first;
    bool stopping = false;
    auto work = [&] {
      refhost::HostPool::Lease leased = hosts.Acquire();
      refhost::EffectHost& host = *leased;
      std::unique_lock<std::mutex> lock(mutex);
      while (true) {
        changed.wait(lock, [&] {
          return stopping || nextToTake > last || nextToTake < nextToWrite + window;
        });
        if (stopping || nextToTake > last) return;
        const int begin = nextToTake;
        const int end = std::min(last, begin + kRun - 1);
        nextToTake = end + 1;
        for (int frame = begin; frame <= end; ++frame) {
          if (frame > begin) {
            changed.wait(lock, [&] { return stopping || frame < nextToWrite + window; });
            if (stopping) return;
          }
          RenderedFrame& slot = slots[(frame - first) % window];
          lock.unlock();
          render(host, frame, slot);
          lock.lock();
          ready[(frame - first) % window] = 1;
          changed.notify_all();
        }
      }
    };
    std::vector<std::thread> threads;
    auto stop = [&] {
      {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
      }
      changed.notify_all();
      for (std::thread& thread : threads) thread.join();
      threads.clear();
    };
    for (int t = 0; t < jobs; ++t) threads.emplace_back(work);
    try {
      for (int frame = first; frame <= last && !interruptRequested.load(); ++frame) {
        const int index = (frame - first) % window;
        {
          std::unique_lock<std::mutex> lock(mutex);
          changed.wait(lock, [&] { return ready[index] != 0; });
        }
        put(frame, slots[index]);
        {
          std::lock_guard<std::mutex> lock(mutex);
          ready[index] = 0;
          ++nextToWrite;
        }
        changed.notify_all();
      }
    } catch (...) {
      stop();
      throw;
    }
    stop();
  }
  if (job.progress) std::fputc('\n', stderr);
  if (interruptRequested.load()) {
    writer.Abort();
    throw RenderInterrupted(job.output, interruptSignal.load());
  }
  if (consoleTarget) {
    consoleFile.flush();
    checkConsole();
    consoleFile.close();
  }
  writer.Finish();
  if (consoleTarget) consoleTarget->Commit();
  return written;
}

}  // namespace cli
