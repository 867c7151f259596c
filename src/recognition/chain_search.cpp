// The chain search: chains of up to two levels one by one, longer chains in
// chunks, side by side on several threads when there are processors for it.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "recognition/chain_chunks.h"
#include "recognition/chain_scoring.h"
#include "recognition/detection.h"

namespace kamvo {
namespace {

// Keeps the best score and tells the observer about each improvement.
class Progress {
 public:
  Progress(const Sample& sample, const SearchOptions& options, SearchObserver& observer)
      : sample_(sample), options_(options), observer_(observer) {
    Result.BestScore = std::clamp(options.MustBeat, 0, sample.Count);
  }

  SearchResult Result;

  // Takes a chain's score; true when the search must end here because the
  // chain passed the detection limit.
  bool Offer(const Chain& chain, int score, bool utf8) {
    if (score <= Result.BestScore) return false;
    Result.BestScore = score;
    Result.Best = chain;
    Result.Utf8 = utf8;
    const int percent = PercentOf(score, sample_.Count);
    observer_.Improved(chain, score, percent, utf8);
    return EndsChainSearch(percent, options_.DetectionLimit);
  }

  // Takes what a chunk found, in order.
  bool OfferAll(const std::vector<ChainFound>& found) {
    for (const ChainFound& f : found)
      if (Offer(f.Found, f.Score, f.Utf8)) return true;
    return false;
  }

  bool AllRecognised() const { return Result.BestScore == sample_.Count; }

  bool Break() {
    if (!observer_.StopRequested()) return false;
    Result.Broken = true;
    return true;
  }

 private:
  const Sample& sample_;
  const SearchOptions& options_;
  SearchObserver& observer_;
};

// The empty chain and the chains of one and two levels, one by one. True
// when the search ends within them.
bool SearchShortChains(const Sample& sample, const SearchOptions& options, int levels, SearchObserver& observer,
                       Progress& progress) {
  Chain chain{};
  for (int c1 = 0; c1 < kPairCount; ++c1) {
    chain[0] = static_cast<std::uint8_t>(c1);
    const ChainScore score = ScoreChain(sample, chain, options.Utf8Step);
    if (progress.Offer(chain, score.Score, score.Utf8) || progress.Break()) return true;
    observer.UpdateProgress(chain);
    observer.Pump();
  }
  observer.UpdateProgress(chain);
  if (progress.AllRecognised() || levels < 2) return true;
  for (int c2 = 1; c2 < kPairCount; ++c2) {
    chain[1] = static_cast<std::uint8_t>(c2);
    for (int c1 = 1; c1 < kPairCount; ++c1) {
      chain[0] = static_cast<std::uint8_t>(c1);
      if (!Merges(c1, c2)) {
        const ChainScore score = ScoreChain(sample, chain, options.Utf8Step);
        if (progress.Offer(chain, score.Score, score.Utf8)) return true;
      }
      if (progress.Break()) return true;
      observer.Pump();
    }
    observer.UpdateProgress(chain);
    if (progress.AllRecognised()) return true;
  }
  return levels < 3;
}

// Longer chains on the calling thread, the observer asked before every block.
void SearchChunksHere(const ChunkContext& context, const std::vector<Chunk>& chunks, SearchObserver& observer,
                      Progress& progress) {
  auto scratch = std::make_unique<SampleFilter::Scratch>();
  bool broken = false;
  const std::function<bool()> keepGoing = [&] {
    observer.Pump();
    broken = progress.Break();
    return !broken;
  };
  std::vector<ChainFound> found;
  for (const Chunk& chunk : chunks) {
    found.clear();
    SearchChunk(context, chunk, progress.Result.BestScore, keepGoing, *scratch, found);
    if (progress.OfferAll(found) || broken) return;
    observer.UpdateProgress(LastChainOf(chunk));
    if (progress.AllRecognised()) return;
  }
}

// Longer chains on worker threads. Each chunk starts from the best score
// known when it starts, which is never above the true best before it, so it
// records every chain that could be an improvement; the calling thread takes
// the records in chunk order and keeps the true improvements.
class ChunkPool {
 public:
  // Starts up to `threads` workers; where the system refuses more threads,
  // works with those it got (Started() is false when it got none).
  ChunkPool(const ChunkContext& context, const std::vector<Chunk>& chunks, int threads)
      : context_(context), chunks_(chunks), results_(chunks.size()) {
    try {
      for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
    }
  }

  bool Started() const { return !workers_.empty(); }

  ~ChunkPool() {
    cancel_ = true;
    for (auto& worker : workers_) worker.join();
  }

  void Run(SearchObserver& observer, Progress& progress) {
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
      std::vector<ChainFound> found;
      if (!Wait(i, observer, progress, found)) return;
      if (progress.OfferAll(found)) return;
      best_ = progress.Result.BestScore;
      observer.UpdateProgress(LastChainOf(chunks_[i]));
      observer.Pump();
      if (progress.Break() || progress.AllRecognised()) return;
    }
  }

 private:
  void Work() {
    auto scratch = std::make_unique<SampleFilter::Scratch>();
    const std::function<bool()> keepGoing = [this] { return !cancel_.load(std::memory_order_relaxed); };
    for (;;) {
      const std::size_t i = next_.fetch_add(1);
      if (i >= chunks_.size() || cancel_) return;
      std::vector<ChainFound> found;
      SearchChunk(context_, chunks_[i], best_.load(), keepGoing, *scratch, found);
      {
        std::lock_guard lock(mutex_);
        results_[i] = std::move(found);
      }
      ready_.notify_all();
    }
  }

  // Waits for chunk i, letting the window work every 10 ms; false when the
  // user broke off.
  bool Wait(std::size_t i, SearchObserver& observer, Progress& progress, std::vector<ChainFound>& found) {
    std::unique_lock lock(mutex_);
    while (!results_[i]) {
      if (ready_.wait_for(lock, std::chrono::milliseconds(10)) == std::cv_status::timeout) {
        lock.unlock();
        observer.Pump();
        if (progress.Break()) return false;
        lock.lock();
      }
    }
    found = std::move(*results_[i]);
    return true;
  }

  const ChunkContext& context_;
  const std::vector<Chunk>& chunks_;
  std::vector<std::optional<std::vector<ChainFound>>> results_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> cancel_{false};
  std::atomic<int> best_{0};
  std::vector<std::thread> workers_;
};

int ThreadCount(const SearchOptions& options, std::size_t chunks) {
  int threads = options.Threads > 0 ? options.Threads : static_cast<int>(std::thread::hardware_concurrency());
  threads = std::clamp(threads, 1, 64);
  return static_cast<int>(std::min<std::size_t>(threads, chunks));
}

}  // namespace

SearchResult SearchChains(const Sample& sample, const SearchOptions& options, SearchObserver& observer) {
  Progress progress(sample, options, observer);
  const int levels = std::clamp(options.MaxLevels, 1, kChainLevels);
  if (SearchShortChains(sample, options, levels, observer, progress)) return progress.Result;

  const SampleFilter filter(sample, options.Utf8Step);
  const std::vector<Sample> afterInner = SamplesAfterInnerLevels(sample);
  const ChunkContext context{sample, afterInner, filter, options.Utf8Step, options.DetectionLimit};
  const std::vector<Chunk> chunks = ChunksUpTo(levels);
  const int threads = ThreadCount(options, chunks.size());
  if (threads > 1) {
    ChunkPool pool(context, chunks, threads);
    if (pool.Started()) {
      pool.Run(observer, progress);
      return progress.Result;
    }
  }
  SearchChunksHere(context, chunks, observer, progress);
  return progress.Result;
}

}  // namespace kamvo
