// The class library's worker threads: the bitmap and JPEG image classes fault
// large fresh blocks in with them and the JPEG image class decodes ahead on
// them. Made on first use; VORNEL_THREADS=1 leaves the calling thread alone at
// work.
#pragma once
#include <cstddef>
#include <functional>
#include <memory>

#include "platform/WorkerPool.h"

TWorkerPool& ImageWorkers();

// Before a large block that nothing holds yet is written, every thread touches
// its own share of its pages (writing zeros), side by side: the kernel hands
// out fresh memory page by page, each cleared on its first write, and one
// thread doing that for a whole photograph spends much of its time there.
// Small blocks, or one thread, are left to fault in as they are written.
void FaultIn(void* block, std::size_t bytes);
// The same, posted to the workers: nothing may write into the block before the
// job (null when there is nothing to do) has been waited for.
std::shared_ptr<TWorkerPool::TJob> PostFaultIn(void* block, std::size_t bytes);

// Hands a large block back to the system on a worker (release does it): a
// photograph's pages take a while to unmap, which the caller need not wait
// for. With one thread release runs here and now.
void ReleaseLater(std::function<void()> release);
// Waits until every block handed to ReleaseLater is back with the system; made
// before a large block is taken, so that no more than the blocks of one file
// are held at a time.
void AwaitReleases();
