#include "classlib/Jpeg.h"

#include <algorithm>
#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "classlib/Workers.h"

namespace {

// More scans than any real file has; a file with more is refused rather than
// spent minutes on.
constexpr int kMaxScans = 500;

// ---- libjpeg calls -----------------------------------------------------------------
// libjpeg reports an error by longjmp back into the stage that called it. The
// stages hold no C++ object that needs destruction, and the codec's state lives
// in the job, outside their frames.

struct TErrorMgr {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void OnCodecError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<TErrorMgr*>(cinfo->err)->jump, 1); }
// Warnings (data that ends early, corrupt data) are passed over: the image is
// decoded as far as it goes. Nothing is printed.
void OnCodecMessage(j_common_ptr, int) {}
void OnCodecOutput(j_common_ptr) {}

void OnProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    cinfo->err->msg_code = JERR_BAD_SCAN_SCRIPT;
    (*cinfo->err->error_exit)(cinfo);
  }
}

enum class TOutput { Bgr, Gray, Indexed, CmykToBgr, CmykToGray };

struct TDecodeJob {
  jpeg_decompress_struct cinfo;
  TErrorMgr err;
  jpeg_progress_mgr progress;
  bool created = false;
  const std::uint8_t* data = nullptr;
  unsigned long size = 0;
  // Choices, made between the stages.
  TOutput output = TOutput::Bgr;
  std::uint8_t* cmykRow = nullptr;  // 4 bytes a pixel, one row

  TDecodeJob() = default;
  TDecodeJob(const TDecodeJob&) = delete;
  TDecodeJob& operator=(const TDecodeJob&) = delete;
  ~TDecodeJob() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
  int Code() const { return err.pub.msg_code; }
};

void Prepare(TDecodeJob& job) {
  job.cinfo.err = jpeg_std_error(&job.err.pub);
  job.err.pub.error_exit = OnCodecError;
  job.err.pub.emit_message = OnCodecMessage;
  job.err.pub.output_message = OnCodecOutput;
  job.progress.progress_monitor = OnProgress;
  job.created = true;  // destroying a decompressor whose creation failed is safe
}

// Creates the decompressor and reads the header up to the first scan.
bool ReadHeader(TDecodeJob& job) {
  Prepare(job);
  if (setjmp(job.err.jump)) return false;
  jpeg_create_decompress(&job.cinfo);
  // libjpeg's own buffers (progressive coefficients, two-pass quantising) stay
  // within the bitmap limit; beyond it libjpeg fails instead of allocating.
  job.cinfo.mem->max_memory_to_use = static_cast<long>(MaxBitmapBytes());
  job.cinfo.progress = &job.progress;
  jpeg_mem_src(&job.cinfo, job.data, job.size);
  jpeg_read_header(&job.cinfo, TRUE);
  return true;
}

bool ComputeOutputSize(TDecodeJob& job) {
  if (setjmp(job.err.jump)) return false;
  jpeg_calc_output_dimensions(&job.cinfo);
  return true;
}

// A progressive file is read whole here; a two-pass palette is made here.
bool StartDecode(TDecodeJob& job) {
  if (setjmp(job.err.jump)) return false;
  jpeg_start_decompress(&job.cinfo);
  return true;
}

inline std::uint8_t Mul255(unsigned a, unsigned b) { return static_cast<std::uint8_t>((a * b + 127) / 255); }

// Turns one row of CMYK (as libjpeg gives it) into BGR or gray levels. Every
// 4-component file is taken as stored the Adobe way, 255 minus the amount of ink,
// with or without the Adobe segment, as other readers take them: encoders that
// leave the segment out store the samples that way too.
void ConvertCmykRow(const TDecodeJob& job, std::uint8_t* dst) {
  const std::uint8_t* src = job.cmykRow;
  const JDIMENSION width = job.cinfo.output_width;
  for (JDIMENSION x = 0; x < width; ++x, src += 4) {
    const unsigned c = src[0], m = src[1], y = src[2], k = src[3];
    const std::uint8_t r = Mul255(c, k), g = Mul255(m, k), b = Mul255(y, k);
    if (job.output == TOutput::CmykToGray) {
      dst[x] = static_cast<std::uint8_t>((r * 77u + g * 150u + b * 29u + 128u) >> 8);
    } else {
      dst[3 * x] = b;
      dst[3 * x + 1] = g;
      dst[3 * x + 2] = r;
    }
  }
}

// Decodes the next count output rows, row i to first + i * stride. *done counts
// the rows delivered; fewer than count only when libjpeg stops giving rows.
bool DecodeRows(TDecodeJob& job, std::uint8_t* first, std::int64_t stride, JDIMENSION count, JDIMENSION* done) {
  *done = 0;
  if (setjmp(job.err.jump)) return false;
  const bool cmyk = job.output == TOutput::CmykToBgr || job.output == TOutput::CmykToGray;
  while (*done < count) {
    if (cmyk) {
      JSAMPROW rows[1] = {job.cmykRow};
      if (jpeg_read_scanlines(&job.cinfo, rows, 1) != 1) break;
      ConvertCmykRow(job, first + static_cast<std::int64_t>(*done) * stride);
      ++*done;
    } else {
      JSAMPROW rows[16];
      JDIMENSION n = 0;
      for (; n < 16 && *done + n < count; ++n) rows[n] = first + static_cast<std::int64_t>(*done + n) * stride;
      const JDIMENSION got = jpeg_read_scanlines(&job.cinfo, rows, n);
      if (got == 0) break;
      *done += got;
    }
  }
  return true;
}

[[noreturn]] void RaiseJpegError(int code) { throw EJPEG(Format("JPEG エラー #%d", code)); }

std::vector<RGBQUAD> GrayLevels() {
  std::vector<RGBQUAD> colors(256);
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<BYTE>(i);
    colors[static_cast<std::size_t>(i)] = RGBQUAD{v, v, v, 0};
  }
  return colors;
}

// ---- Decoding ahead -----------------------------------------------------------------
// A large image is decoded ahead of its reader on worker threads, row by row
// into rings of rows that the reader copies out in order. A large single-scan
// image is decoded in parts side by side: the top from its first row, each
// lower part by a decoder of its own that first skips the rows above it
// (libjpeg then only undoes the entropy coding, which gives exactly the state a
// whole decode has there, in much less time). Each part is decoded in steps,
// one at a time: a step goes on until its ring is full, its part is done or
// libjpeg fails, and ends; the reader starts the next one when it has freed
// half the ring or waits for a row. The caller meets the same rows, and an
// error at the same row, as if the reader decoded them itself.

// Images from this many decoded pixels on are decoded ahead, and from
// kSplitPixels on in parts.
constexpr std::uint64_t kAheadPixels = std::uint64_t{1} << 19;
constexpr std::uint64_t kSplitPixels = std::uint64_t{1} << 22;
// The top part's ring, about; at least kAheadMinRows rows. A lower part's ring
// holds the whole part: its rows come before the reader does.
constexpr std::size_t kAheadBytes = std::size_t{8} << 20;
constexpr Integer kAheadMinRows = 32;
// The lower parts' rings together at most: an image that would need more is
// decoded ahead in one part.
constexpr std::size_t kLowerRingsBytes = std::size_t{64} << 20;
// Where the lower parts start, as shares of the rows, with as many parts as
// there are threads beside the reader's. Skipping a row of a photograph costs
// about five eighths of decoding it, and the reader goes through rows it finds
// decoded about three times as fast as a decoder makes them; with these starts
// each lower part's rows are ready about when the reader comes to them.
constexpr double kTwoParts[] = {0.65};
constexpr double kThreeParts[] = {0.55, 0.84};

// Skips the first count output rows (entropy decoding only where it can).
bool SkipRows(TDecodeJob& job, JDIMENSION count) {
  if (setjmp(job.err.jump)) return false;
  jpeg_skip_scanlines(&job.cinfo, count);
  return true;
}

struct TAheadPart {
  // Rows first .. end - 1, decoded by job (which has not read a row yet) into
  // ringRows rows of rowBytes from ring.
  // ringReady, when given, is the job that faults the ring in: waited for
  // before the first row is written.
  TAheadPart(TDecodeJob& decode, Integer first, Integer end, std::size_t rowBytes, std::uint8_t* ring,
             Integer ringRows, std::shared_ptr<TWorkerPool::TJob> ringReady = nullptr)
      : job(decode), first(first), end(end), rowBytes(rowBytes), ring(ring), ringRows(ringRows),
        ringReady(std::move(ringReady)), decoded(first), released(first), given(end) {}
  TAheadPart(const TAheadPart&) = delete;
  TAheadPart& operator=(const TAheadPart&) = delete;
  // No step outlives the part.
  ~TAheadPart() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    if (step) step->Wait();
  }

  std::uint8_t* Row(Integer r) const { return ring + static_cast<std::size_t>((r - first) % ringRows) * rowBytes; }

  // Decodes rows into the ring while there is room (on a worker).
  void Step() {
    std::unique_lock<std::mutex> lock(mutex);
    if (stop) {  // the part is going: not even its skip is wanted
      running = false;
      ready.notify_one();
      return;
    }
    if (!skipped) {
      lock.unlock();
      const bool ok = first == 0 || SkipRows(job, static_cast<JDIMENSION>(first));
      if (ringReady) ringReady->Wait();
      lock.lock();
      skipped = true;
      failed = !ok;
    }
    while (!stop && !failed && decoded < given && decoded - released < ringRows) {
      const Integer r = decoded;
      lock.unlock();
      JDIMENSION done = 0;
      const bool ok = DecodeRows(job, Row(r), static_cast<std::int64_t>(rowBytes), 1, &done);
      lock.lock();
      if (!ok)
        failed = true;
      else if (done == 0)
        given = r;  // libjpeg gives no more rows
      else
        decoded = r + 1;
      if (wanted > 0 && (decoded >= wanted || failed || given < wanted)) ready.notify_one();
    }
    running = false;
    ready.notify_one();
  }

  // Posts the next step unless one is under way or nothing is left to do
  // (mutex held).
  void StartStep() {
    if (running || stop || failed || decoded >= given) return;
    if (step) step->Wait();  // the last step has ended; let its part finish too
    // Running only once posted (posting may fail): the step cannot start before
    // the caller lets go of the mutex.
    step = ImageWorkers().Post(1, [this](int) { Step(); });
    running = true;
  }

  TDecodeJob& job;
  const Integer first;
  const Integer end;
  const std::size_t rowBytes;
  std::uint8_t* const ring;
  const Integer ringRows;
  const std::shared_ptr<TWorkerPool::TJob> ringReady;
  std::mutex mutex;
  std::condition_variable ready;
  // Under mutex:
  bool skipped = false;  // the rows above `first` have been skipped
  Integer decoded;       // rows first .. decoded - 1 have been decoded into the ring
  Integer released;      // rows the reader has copied out; their places are free
  Integer given;         // libjpeg gave no rows from here on: they are zero rows
  bool failed = false;   // libjpeg failed on row `decoded`
  bool stop = false;
  bool running = false;  // a step is posted or decoding
  Integer wanted = 0;    // the reader waits until the rows below this are decoded
  std::shared_ptr<TWorkerPool::TJob> step;
};

// The parts of an image decoded ahead, with their rings and the lower parts'
// decoders. Released parts first: their steps use the rest.
struct TDecodeAhead {
  TMemoryBlock rings;
  std::shared_ptr<TWorkerPool::TJob> lowerRingsReady;  // faults the lower parts' rings in
  std::vector<std::unique_ptr<TDecodeJob>> lower;
  std::vector<std::unique_ptr<TAheadPart>> parts;
  bool exhausted = false;  // the reader met rows libjpeg did not give: the rest are zero
  int failedCode = 0;      // libjpeg's message code when a part failed
  ~TDecodeAhead() {
    parts.clear();
    if (lowerRingsReady) lowerRingsReady->Wait();
    if (rings) ReleaseLater([rings = std::make_shared<TMemoryBlock>(std::move(rings))] { rings->Reset(); });
  }
  TAheadPart& PartOf(Integer row) {
    for (auto& part : parts)
      if (row < part->end) return *part;
    return *parts.back();
  }
};

// A further decoder of the image, set up as top is, for a lower part; null
// when the image is not one a skip serves (more than one scan, colours made
// here) or libjpeg refuses what it did for top.
std::unique_ptr<TDecodeJob> LowerDecoder(const TDecodeJob& top) {
  const jpeg_decompress_struct& t = top.cinfo;
  if (top.output != TOutput::Bgr && top.output != TOutput::Gray) return nullptr;
  auto job = std::make_unique<TDecodeJob>();
  job->data = top.data;
  job->size = top.size;
  job->output = top.output;
  if (!ReadHeader(*job)) return nullptr;
  jpeg_decompress_struct& c = job->cinfo;
  if (jpeg_has_multiple_scans(&c)) return nullptr;  // whole-file work at the start: nothing to skip
  c.scale_num = t.scale_num;
  c.scale_denom = t.scale_denom;
  c.dct_method = t.dct_method;
  c.out_color_space = t.out_color_space;
  c.do_fancy_upsampling = t.do_fancy_upsampling;
  c.do_block_smoothing = t.do_block_smoothing;
  if (!ComputeOutputSize(*job) || c.output_width != t.output_width || c.output_height != t.output_height ||
      !StartDecode(*job))
    return nullptr;
  return job;
}

}  // namespace

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

bool TJPEGImage::TooLargeToLoad(std::int64_t bytes) {
  return bytes > 0 && static_cast<std::uint64_t>(bytes) > MaxBitmapBytes();
}

void TJPEGImage::LoadFromFile(const std::string& FileName) {
  TMemoryBlock data;
  std::size_t size = 0;
  {
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    const std::int64_t length = stream.Size();
    if (length < 0) throw EReadError("ストリームからの読み込みエラー");
    if (TooLargeToLoad(length))
      throw EOutOfResources(Format("ファイル %s は大きすぎます", FileName.c_str()));
    size = static_cast<std::size_t>(length);
    if (size > 0) {
      data = TMemoryBlock(size);
      if (!data) throw EOutOfMemory("メモリが不足しています");
      FaultIn(data.Data(), size);  // the read then only copies
      stream.ReadBuffer(data.Data(), static_cast<std::int64_t>(size));
    }
  }
  Integer width = 0, height = 0;
  if (size > 0) {
    auto job = std::make_unique<TDecodeJob>();
    job->data = data.Data();
    job->size = static_cast<unsigned long>(size);
    if (!ReadHeader(*job)) RaiseJpegError(job->Code());
    width = static_cast<Integer>(job->cinfo.image_width);
    height = static_cast<Integer>(job->cinfo.image_height);
  }
  FData = std::move(data);
  FImageWidth = width;
  FImageHeight = height;
}

Integer TJPEGImage::Width() const {
  const Integer d = 1 << FScale;
  return (FImageWidth + d - 1) / d;
}

Integer TJPEGImage::Height() const {
  const Integer d = 1 << FScale;
  return (FImageHeight + d - 1) / d;
}

bool TJPEGImage::AssignTo(TBitmap* dest) {
  TJPEGRowReader reader(*this, false);
  TBitmap image;
  image.SetPixelFormat(reader.PixelFormat());
  image.SetSize(reader.Width(), reader.Height());
  if (reader.Height() > 0) {
    // The pixels are had (or refused) here, before any row is decoded.
    BYTE* top = image.ScanLine(0);
    const std::int64_t stride = DibStride(reader.Width(), static_cast<WORD>(PixelFormatBits(reader.PixelFormat())));
    reader.ReadRows(top, -stride, reader.Height());
  }
  if (reader.PixelFormat() == pf8bit) image.SetColors(reader.Colors());
  dest->Assign(&image);
  return true;
}

// ---- TJPEGRowReader ------------------------------------------------------------------

struct TJPEGRowReader::TJob {
  TDecodeJob decode;
  std::unique_ptr<std::uint8_t[]> cmykRow;
  std::unique_ptr<TDecodeAhead> ahead;  // released first: it decodes with the rest
};

TJPEGRowReader::TJPEGRowReader(TJPEGImage& image) : TJPEGRowReader(image, true) {}

TJPEGRowReader::TJPEGRowReader(TJPEGImage& image, bool readAhead) {
  if (image.FData.Size() == 0) return;  // an empty image: no pixels, no rows
  FJob = std::make_unique<TJob>();
  TDecodeJob& job = FJob->decode;
  job.data = image.FData.Data();
  job.size = static_cast<unsigned long>(image.FData.Size());
  if (!ReadHeader(job)) RaiseJpegError(job.Code());

  jpeg_decompress_struct& c = job.cinfo;
  c.scale_num = 1;
  c.scale_denom = 1u << image.FScale;
  if (image.FPerformance == jpBestSpeed) {
    c.dct_method = JDCT_IFAST;
    c.two_pass_quantize = FALSE;
    c.dither_mode = JDITHER_ORDERED;
  }
  const bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
  if (cmyk) {
    // libjpeg gives CMYK only as CMYK; the colours are made here, row by row.
    c.out_color_space = JCS_CMYK;
    job.output = image.FGrayscale ? TOutput::CmykToGray : TOutput::CmykToBgr;
  } else if (image.FGrayscale || c.jpeg_color_space == JCS_GRAYSCALE) {
    c.out_color_space = JCS_GRAYSCALE;
    job.output = TOutput::Gray;
  } else if (image.FPixelFormat == jf8Bit) {
    c.out_color_space = JCS_RGB;
    c.quantize_colors = TRUE;
    c.desired_number_of_colors = 256;
    job.output = TOutput::Indexed;
  } else {
    c.out_color_space = JCS_EXT_BGR;
    job.output = TOutput::Bgr;
  }
  if (!ComputeOutputSize(job)) RaiseJpegError(job.Code());

  const bool eightBit = job.output != TOutput::Bgr && job.output != TOutput::CmykToBgr;
  FPixelFormat = eightBit ? pf8bit : pf24bit;
  FWidth = static_cast<Integer>(c.output_width);
  FHeight = static_cast<Integer>(c.output_height);
  // Refused before anything is decoded, as the bitmap for it would be.
  CheckBitmapSize(FWidth, FHeight, FPixelFormat);
  if (cmyk) {
    FJob->cmykRow.reset(new std::uint8_t[static_cast<std::size_t>(FWidth) * 4]);
    job.cmykRow = FJob->cmykRow.get();
  }
  if (!StartDecode(job)) RaiseJpegError(job.Code());

  if (job.output == TOutput::Indexed) {
    FColors.resize(static_cast<std::size_t>(c.actual_number_of_colors));
    for (std::size_t i = 0; i < FColors.size(); ++i)
      FColors[i] = RGBQUAD{c.colormap[2][i], c.colormap[1][i], c.colormap[0][i], 0};
    FColors.resize(256, RGBQUAD{0, 0, 0, 0});
  } else if (eightBit) {
    FColors = GrayLevels();
  }

  const std::uint64_t pixels = static_cast<std::uint64_t>(FWidth) * static_cast<std::uint64_t>(FHeight);
  if (readAhead && pixels >= kAheadPixels && ImageWorkers().Threads() > 1) StartReadingAhead(pixels);
}

// The rings are faulted in before any step writes into them; the top part's
// step starts first.
void TJPEGRowReader::StartReadingAhead(std::uint64_t pixels) {
  auto ahead = std::make_unique<TDecodeAhead>();
  const std::size_t rowBytes = RowBytes();
  // The parts' first rows (on multiples of 16 rows, an iMCU row of a 4:2:0
  // image, where a skip ends cheapest) and the end.
  std::vector<Integer> starts = {0};
  const int threads = ImageWorkers().Threads();
  const std::size_t lowerMost = static_cast<std::size_t>(FHeight - static_cast<Integer>(FHeight * kThreeParts[0])) * rowBytes;
  if (pixels >= kSplitPixels && threads > 2 && lowerMost <= kLowerRingsBytes) {
    const double* shares = threads > 3 ? kThreeParts : kTwoParts;
    const int count = threads > 3 ? 2 : 1;
    for (int i = 0; i < count; ++i) {
      const Integer start = static_cast<Integer>(FHeight * shares[i]) / 16 * 16;
      if (start <= starts.back()) continue;
      std::unique_ptr<TDecodeJob> decoder = LowerDecoder(FJob->decode);
      if (!decoder) break;
      ahead->lower.push_back(std::move(decoder));
      starts.push_back(start);
    }
  }
  starts.push_back(FHeight);
  // The top part's ring is faulted in at once, the lower parts' while their
  // decoders skip.
  const Integer topRows = std::min(starts[1], std::max<Integer>(kAheadMinRows, static_cast<Integer>(kAheadBytes / rowBytes)));
  const std::size_t topBytes = static_cast<std::size_t>(topRows) * rowBytes;
  const std::size_t lowerBytes = static_cast<std::size_t>(FHeight - starts[1]) * rowBytes;
  AwaitReleases();
  ahead->rings = TMemoryBlock(topBytes + lowerBytes);
  if (!ahead->rings) return;  // no memory to spare: the rows are decoded as they are asked for
  FaultIn(ahead->rings.Data(), topBytes);
  const auto start = [&ahead](std::unique_ptr<TAheadPart> part) {
    std::lock_guard<std::mutex> lock(part->mutex);
    part->StartStep();
    ahead->parts.push_back(std::move(part));
  };
  start(std::make_unique<TAheadPart>(FJob->decode, 0, starts[1], rowBytes, ahead->rings.Data(), topRows));
  if (lowerBytes > 0) ahead->lowerRingsReady = PostFaultIn(ahead->rings.Data() + topBytes, lowerBytes);
  std::uint8_t* ring = ahead->rings.Data() + topBytes;
  for (std::size_t i = 1; i + 1 < starts.size(); ++i) {
    const Integer rows = starts[i + 1] - starts[i];
    start(std::make_unique<TAheadPart>(*ahead->lower[i - 1], starts[i], starts[i + 1], rowBytes, ring, rows,
                                       ahead->lowerRingsReady));
    ring += static_cast<std::size_t>(rows) * rowBytes;
  }
  FJob->ahead = std::move(ahead);
}

TJPEGRowReader::~TJPEGRowReader() = default;

std::size_t TJPEGRowReader::RowBytes() const {
  return static_cast<std::size_t>(FWidth) * static_cast<std::size_t>(PixelFormatBits(FPixelFormat) / 8);
}

void TJPEGRowReader::ReadRows(BYTE* First, std::int64_t Stride, Integer Count) {
  if (Count < 0 || Count > FHeight - FNextRow)
    throw EInvalidGraphicOperation(SScanLine);
  if (Count == 0) return;
  TDecodeJob& job = FJob->decode;
  if (FFailed) RaiseJpegError(FJob->ahead ? FJob->ahead->failedCode : job.Code());
  if (FJob->ahead) {
    ReadAhead(First, Stride, Count);
    return;
  }
  JDIMENSION done = 0;
  if (!DecodeRows(job, First, Stride, static_cast<JDIMENSION>(Count), &done)) {
    FFailed = true;
    RaiseJpegError(job.Code());
  }
  // Rows libjpeg did not give stay as a fresh bitmap's: zero.
  for (Integer i = static_cast<Integer>(done); i < Count; ++i) std::memset(First + i * Stride, 0, RowBytes());
  FNextRow += Count;
}

// The rows from the parts' rings, as their steps decode them; a step is
// started whenever the reader would wait without one, and run here when no
// worker has taken it.
void TJPEGRowReader::ReadAhead(BYTE* First, std::int64_t Stride, Integer Count) {
  TDecodeAhead& ahead = *FJob->ahead;
  const std::size_t rowBytes = RowBytes();
  const Integer end = FNextRow + Count;
  Integer r = FNextRow;
  while (r < end && !ahead.exhausted) {
    TAheadPart& a = ahead.PartOf(r);
    // No more rows at a time than the part's ring holds: the rest come once
    // these have made room.
    const Integer stop = std::min({end, a.end, r + a.ringRows});
    Integer decoded = 0, given = 0;
    {
      // Woken once the rows asked for are there (or what stops them), not row
      // by row: a step then decodes on without waking the reader.
      std::unique_lock<std::mutex> lock(a.mutex);
      const auto there = [&] { return a.decoded >= stop || a.given < stop || a.failed; };
      while (!there()) {
        a.StartStep();
        const std::shared_ptr<TWorkerPool::TJob> step = a.step;
        lock.unlock();
        step->Help();
        lock.lock();
        if (there()) break;
        a.wanted = stop;
        a.ready.wait(lock, [&] { return there() || !a.running; });
        a.wanted = 0;
      }
      decoded = a.decoded;
      given = a.given;
    }
    if (r < decoded) {
      // Rows below `decoded` stay where they are until released.
      const Integer last = std::min(stop, decoded);
      for (; r < last; ++r) std::memcpy(First + (r - FNextRow) * Stride, a.Row(r), rowBytes);
      std::lock_guard<std::mutex> lock(a.mutex);
      a.released = r;
      if (a.decoded - a.released <= a.ringRows / 2) a.StartStep();
    } else if (r >= given) {
      ahead.exhausted = true;
    } else {
      FFailed = true;
      ahead.failedCode = a.job.Code();
      RaiseJpegError(ahead.failedCode);
    }
  }
  // Rows libjpeg did not give stay as a fresh bitmap's: zero.
  for (; r < end; ++r) std::memset(First + (r - FNextRow) * Stride, 0, rowBytes);
  FNextRow = end;
}
