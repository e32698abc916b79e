#!/usr/bin/env python3
"""Speed and memory of Vornel_R, Quillet and ConvFile / MakeThumbnail against the
tools a user would pick instead: libjpeg-turbo's djpeg/cjpeg/jpegtran, libvips and
ImageMagick. scripts/bench installs the tools, builds and runs this.

Every figure is the median of several rounds; in each round every contender runs
once, in turn, so that a slow spell of the machine falls on all of them alike.
Peak memory is the largest resident size of the process (of the bigger one for
a pipeline of two), as the kernel reports it when the process ends.
The whole turn and its floor are also timed after some seconds of idleness:
memory first touched then costs much more on a machine whose host reclaims
freed memory, and that is how a user who turns one photograph meets it.
"""
import argparse
import ctypes
import ctypes.util
import json
import os
import select
import shutil
import statistics
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# Where a real photograph may lie; the first one found is used. All are
# photographs shipped by Debian's wallpaper packages (plasma-workspace-wallpapers
# is what scripts/bench installs).
PHOTO_CANDIDATES = [
    "/usr/share/wallpapers/Path/contents/images/2560x1600.jpg",
    "/usr/share/wallpapers/Autumn/contents/images/2560x1600.jpg",
    "/usr/share/wallpapers/ColorfulCups/contents/images/2560x1600.jpg",
    "/usr/share/backgrounds/mate/nature/Garden.jpg",
]

BITMAP_24MP = 6000 * 4000 * 3  # bytes of the decoded 24-megapixel bitmap
MEMORY_LIMIT = 2 * BITMAP_24MP + 40_000_000  # bytes

IDLE_FLOOR = "after idle: floor: djpeg + cjpeg"
IDLE_VORNEL = "after idle: ours: Vornel_R FILE"
VORNEL = "ours: Vornel_R FILE (whole process)"
VORNEL_ONE = "ours: Vornel_R FILE, one core (VORNEL_THREADS=1)"

QUIET_ENV = dict(os.environ, QT_QPA_PLATFORM="offscreen", VIPS_WARNING="0")
QUIET_ENV.pop("VORNEL_THREADS", None)
# The libraries' worker threads left out: everything on the calling thread.
ONE_CORE_ENV = dict(QUIET_ENV, VORNEL_THREADS="1")


def log(msg):
    print(msg, file=sys.stderr, flush=True)


def run_quiet(cmd, **kw):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=QUIET_ENV, **kw)


# ---- inputs --------------------------------------------------------------------------

def find_photo():
    for p in PHOTO_CANDIDATES:
        if os.path.isfile(p):
            return p
    sys.exit("no photograph found; install plasma-workspace-wallpapers (scripts/bench does)")


def jpeg_size(path):
    out = subprocess.run(["vipsheader", "-f", "width", path], capture_output=True, text=True, env=QUIET_ENV)
    w = int(out.stdout.strip())
    out = subprocess.run(["vipsheader", "-f", "height", path], capture_output=True, text=True, env=QUIET_ENV)
    return w, int(out.stdout.strip())


def segments(path):
    """The marker codes of a JPEG file's segments before the first scan."""
    data = open(path, "rb").read(1 << 20)
    assert data[:2] == b"\xff\xd8", path
    pos, found = 2, []
    while pos + 4 <= len(data) and data[pos] == 0xFF:
        marker = data[pos + 1]
        found.append((marker, data[pos + 4:pos + 9]))
        if marker == 0xDA:
            break
        pos += 2 + struct.unpack(">H", data[pos + 2:pos + 4])[0]
    return found


def add_exif(path):
    """JFIF stays first (cjpeg wrote it); exiftool sets its density and puts an
    Exif block after it, as a camera's file has."""
    run_quiet(["exiftool", "-q", "-overwrite_original",
               "-JFIF:ResolutionUnit=inches", "-JFIF:XResolution=300", "-JFIF:YResolution=300",
               "-EXIF:Make=Vornel bench", "-EXIF:Model=Photo-like input",
               "-EXIF:DateTimeOriginal=2024:05:04 10:20:30", "-EXIF:Orientation=1",
               "-EXIF:XResolution=300", "-EXIF:YResolution=300", "-EXIF:ResolutionUnit=inches",
               path])


def make_photo(photo, width, height, out, work):
    """A photo-like baseline 4:2:0 JPEG of width x height from the photograph: a
    centred crop of the right shape, enlarged with Lanczos, a fine grain of
    sensor-like noise (the enlargement alone would be smoother, and so cheaper
    to decode, than a camera's file), quality 92 as cameras write, then JFIF
    (300 dpi) followed by an Exif block."""
    pw, ph = jpeg_size(photo)
    if pw * height > ph * width:
        cw, ch = ph * width // height, ph
    else:
        cw, ch = pw, pw * height // width
    crop = os.path.join(work, "crop.v")
    big = os.path.join(work, "big.v")
    noise = os.path.join(work, "noise.v")
    grained = os.path.join(work, "grained.v")
    ppm = os.path.join(work, "photo.ppm")
    run_quiet(["vips", "crop", photo, crop, str((pw - cw) // 2), str((ph - ch) // 2), str(cw), str(ch)])
    run_quiet(["vips", "resize", crop, big, str(width / cw), "--vscale", str(height / ch), "--kernel", "lanczos3"])
    run_quiet(["vips", "gaussnoise", noise, str(width), str(height), "--sigma", "3", "--mean", "0"])
    run_quiet(["vips", "add", big, noise, grained])
    run_quiet(["vips", "cast", grained, ppm, "uchar"])
    with open(out, "wb") as f:
        subprocess.run(["cjpeg", "-quality", "92", "-sample", "2x2", ppm], check=True, stdout=f)
    add_exif(out)
    for p in (crop, big, noise, grained, ppm):
        os.remove(p)
    seg = segments(out)
    assert seg[0][0] == 0xE0 and seg[0][1] == b"JFIF\0", seg[:2]
    assert seg[1][0] == 0xE1 and seg[1][1].startswith(b"Exif"), seg[:2]
    assert any(m == 0xC0 for m, _ in seg), "not baseline"
    assert jpeg_size(out) == (width, height)


def prepare(work):
    inputs = os.path.join(work, "inputs")
    os.makedirs(inputs, exist_ok=True)
    photo = find_photo()
    p24 = os.path.join(inputs, "photo24.jpg")
    p12 = os.path.join(inputs, "photo12.jpg")
    p24hq = os.path.join(inputs, "photo24-q97.jpg")
    turned = os.path.join(inputs, "turned24.ppm")
    stamp = os.path.join(inputs, "made-from.txt")
    if not (os.path.exists(stamp) and open(stamp).read() == photo and os.path.exists(p24hq)):
        log(f"making the inputs from {photo}")
        make_photo(photo, 6000, 4000, p24, inputs)
        make_photo(photo, 4000, 3000, p12, inputs)
        # The floor's encoder works on the turned pixels, as the tools do.
        decoded = os.path.join(inputs, "decoded24.ppm")
        with open(decoded, "wb") as f:
            subprocess.run(["djpeg", "-dct", "fast", "-ppm", p24], check=True, stdout=f)
        run_quiet(["vips", "rot", decoded, turned, "d90"])
        # The same picture as a camera's finest setting stores it: a larger file,
        # which the turn holds in memory beside its bitmaps.
        with open(p24hq, "wb") as f:
            subprocess.run(["cjpeg", "-quality", "97", "-sample", "2x2", decoded], check=True, stdout=f)
        add_exif(p24hq)
        os.remove(decoded)
        open(stamp, "w").write(photo)
    return {"photo": photo, "p24": p24, "p12": p12, "turned": turned, "p24hq": p24hq}


# ---- running and timing ---------------------------------------------------------------

class Result:
    def __init__(self, seconds, ru):
        self.seconds = seconds
        self.maxrss = ru.ru_maxrss * 1024  # bytes
        self.cpu = ru.ru_utime + ru.ru_stime


CRASHES = {}  # program -> exit statuses other than 0 seen (reported at the end)


def timed(cmd, cwd=None, env=QUIET_ENV, stdout=subprocess.DEVNULL, ours=False):
    """Runs cmd, returns its wall time and peak resident size. One of our
    programs that ends badly after its work is noted, not fatal: its output is
    checked by the caller."""
    t0 = time.perf_counter()
    proc = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=stdout, stderr=subprocess.DEVNULL)
    _, status, ru = os.wait4(proc.pid, 0)
    t1 = time.perf_counter()
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0 and ours:
        CRASHES.setdefault(os.path.basename(cmd[0]), set()).add(proc.returncode)
    elif proc.returncode != 0:
        raise RuntimeError(f"{cmd[0]} ended with {proc.returncode}: {' '.join(cmd)}")
    return Result(t1 - t0, ru)


def timed_capture(cmd, cwd=None, env=QUIET_ENV):
    """Runs cmd and returns its output and peak resident size (its own timers)."""
    proc = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    out = proc.stdout.read()
    _, status, ru = os.wait4(proc.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError(f"{cmd[0]} failed: {' '.join(cmd)}")
    return out, ru.ru_maxrss * 1024


def program_copy(program, folder, ini):
    """A copy of a program in its own folder with its own settings file: the
    settings file lies beside the program (the programs find libijl15.so through
    their run path)."""
    os.makedirs(folder, exist_ok=True)
    exe = os.path.join(folder, os.path.basename(program))
    shutil.copy2(program, exe)
    with open(exe + ".INI", "w") as f:
        f.write(ini)
    return exe


ROTATE_INI = "[Pos]\nTop=50\nLeft=50\n[Mode]\nClose=1\n[Jpeg]\nComp=66\n"
THUMB_INI = "[Pos]\nTop=50\nLeft=50\n[Mode]\nClose=1\n[Jpeg]\nComp=66\n[Thumb]\nMax=64\nChar=$_\n"


# ---- start-up: to the first activation, seen from outside ---------------------------------

class Inotify:
    """The folder's watch: tells when a settings file is written (the programs
    write it from their close handler, which the first activation runs when the
    command line holds only a path that is passed over)."""
    IN_CLOSE_WRITE, IN_MOVED_TO = 0x8, 0x80

    def __init__(self, folder):
        self.libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        if self.libc.inotify_add_watch(self.fd, folder.encode(), self.IN_CLOSE_WRITE | self.IN_MOVED_TO) < 0:
            raise OSError(ctypes.get_errno(), "inotify_add_watch")

    def drain(self):
        try:
            while os.read(self.fd, 65536):
                pass
        except BlockingIOError:
            pass

    def wait_for(self, suffix, timeout):
        """The time at which a file whose name ends with suffix is written, or None."""
        end = time.perf_counter() + timeout
        while True:
            left = end - time.perf_counter()
            if left <= 0:
                return None
            if not select.select([self.fd], [], [], left)[0]:
                return None
            now = time.perf_counter()
            data = os.read(self.fd, 65536)
            pos = 0
            while pos < len(data):
                _, _, _, length = struct.unpack_from("iIII", data, pos)
                name = data[pos + 16:pos + 16 + length].rstrip(b"\0").decode(errors="replace")
                pos += 16 + length
                if name.endswith(suffix):
                    return now

    def close(self):
        os.close(self.fd)


def startup(exe, marker_suffix, env=QUIET_ENV):
    """Spawn to first activation (settings written) and spawn to exit."""
    folder = os.path.dirname(exe)
    watch = Inotify(folder)
    watch.drain()
    t0 = time.perf_counter()
    proc = subprocess.Popen([exe, os.path.join(folder, "no-such-file.jpg")], cwd=folder, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seen = watch.wait_for(marker_suffix, 20)
    _, status, ru = os.wait4(proc.pid, 0)
    t2 = time.perf_counter()
    watch.close()
    if seen is None:
        raise RuntimeError(f"{exe} wrote no {marker_suffix}")
    return seen - t0, t2 - t0, ru.ru_maxrss * 1024, os.waitstatus_to_exitcode(status)


# ---- the table ------------------------------------------------------------------------

def med(xs):
    return statistics.median(xs) if xs else float("nan")


class Table:
    def __init__(self):
        self.rows = {}  # name -> {"t": [seconds], "m": [bytes], "note": str}
        self.order = []

    def add(self, name, seconds, maxrss=None, cpu=None):
        if name not in self.rows:
            self.rows[name] = {"t": [], "m": [], "c": []}
            self.order.append(name)
        self.rows[name]["t"].append(seconds)
        if maxrss is not None:
            self.rows[name]["m"].append(maxrss)
        if cpu is not None:
            self.rows[name]["c"].append(cpu)

    def addr(self, name, res):
        self.add(name, res.seconds, res.maxrss, res.cpu)

    def t(self, name):
        return med(self.rows[name]["t"]) if name in self.rows else float("nan")

    def m(self, name):
        r = self.rows.get(name)
        return max(r["m"]) if r and r["m"] else float("nan")

    def print(self, title, names, floor=None, peers=()):
        print(f"\n{title}")
        head = f"  {'':44s} {'median':>9s} {'min':>9s} {'max':>9s} {'CPU':>9s} {'peak RSS':>9s}"
        if floor:
            head += f" {'/floor':>7s}"
        for p in peers:
            head += f" {'/' + p[1]:>9s}"
        print(head)
        for n in names:
            if n not in self.rows:
                continue
            r = self.rows[n]
            cpu = f"{med(r['c']) * 1e3:7.1f}ms" if r["c"] else f"{'-':>9s}"
            rss = f"{self.m(n) / 1e6:7.1f}MB" if r["m"] else f"{'-':>9s}"
            line = (f"  {n:44s} {med(r['t']) * 1e3:7.1f}ms {min(r['t']) * 1e3:7.1f}ms {max(r['t']) * 1e3:7.1f}ms "
                    f"{cpu} {rss}")
            if floor:
                line += f" {self.t(n) / self.t(floor):7.2f}"
            for p in peers:
                line += f" {self.t(n) / self.t(p[0]):9.2f}"
            print(line)


# ---- the phases of one turn ----------------------------------------------------------------

# ConvFile's steps as its step callback names them, and what the table calls them.
PHASES = [("header", "header: densities, time stamp (reads the file once)"),
          ("load", "load: the file read, the decoder set up"),
          ("allocate", "first touch: the turned bitmap made, its pages in"),
          ("decode", "decode: the reader's rows (waiting, when ahead)"),
          ("turn", "turn: the pixel copy"),
          ("messages", "messages: progress shown, every tenth row"),
          ("encode", "encode: the writer, its file in memory (/dev/shm)"),
          ("disk", "write: the file on disk (write less encode)"),
          ("time", "time: the last-write time set"),
          ("release", "release: decoder and bitmap freed"),
          ("close", "settings: one close request (4 keys written)"),
          ("convfile", "ConvFile in all")]


def print_phases(phases, table):
    """phases: {"one"|"all": [runs of a process: [ {step: ms} ]]}"""
    def values(key, first, step):
        out = []
        for runs in phases[key]:
            for i, run in enumerate(runs):
                if (i == 0) != first:
                    continue
                if step == "encode":
                    v = run.get("ref:writer-to-memory-file")
                elif step == "disk":
                    w, e = run.get("write"), run.get("ref:writer-to-memory-file")
                    v = None if w is None or e is None else w - e
                else:
                    v = run.get(step)
                if v is not None:
                    out.append(v)
        return med(out)

    print("\n1c. One turn's phases: one core (VORNEL_THREADS=1) against all cores "
          "(median ms; ConvFile timed through its step callback;")
    print("    first: the first call in a fresh process, as the program makes it; later: the calls after it)")
    print(f"  {'':54s} {'one core':>17s}  {'all cores':>17s}")
    print(f"  {'':54s} {'first':>8s} {'later':>8s}  {'first':>8s} {'later':>8s}")
    for label, name in (("start-up: Vornel_R to its first activation", "start-up: program start to first activation"),):
        one, all_ = table.t(label + ", one core"), table.t(label)
        print(f"  {name:54s} {one * 1e3:8.1f} {'':8s}  {all_ * 1e3:8.1f}")
    for step, name in PHASES:
        print(f"  {name:54s} {values('one', True, step):8.1f} {values('one', False, step):8.1f}  "
              f"{values('all', True, step):8.1f} {values('all', False, step):8.1f}")
    print("  references, not the routine's (one thread, later calls):")
    for step, name in (("ref:libjpeg-decode-resident", "libjpeg alone: decode into resident memory"),
                       ("ref:libjpeg-encode-one-pass", "libjpeg alone: encode one pass, in memory")):
        print(f"  {name:54s} {values('one', False, step):8.1f} {'':8s}  {values('all', False, step):8.1f}")
    print("  (the decode and the turn overlap on all cores: the reader's time is what the GUI thread waits;")
    print("   a one-file run of Vornel_R makes two close requests, its own and the batch's: 8 keys written)")


def print_touch(touch, idle):
    print(f"\n1d. First touch of a fresh 72-MB block (a turned 24-MP bitmap), median ms of touch / unmap")
    print(f"  {'':26s} {'warm':>16s}  {'after ' + format(idle, 'g') + ' s idle':>16s}")
    for pages in ("4k", "2m"):
        for n in sorted({k[2] for k in touch}):
            cells = []
            for when in ("warm", "after idle"):
                xs = touch.get((when, pages, n), [])
                cells.append(f"{med([x[0] for x in xs]):7.1f} / {med([x[1] for x in xs]):5.1f}")
            label = f"{'4 KiB' if pages == '4k' else '2 MiB'} pages, {n} thread{'s' if n > 1 else ''}"
            print(f"  {label:26s} {cells[0]:>16s}  {cells[1]:>16s}")
    print("  (the bitmaps, file bytes and decoding rings are kept on 2 MiB pages and faulted in from all cores)")


# ---- the benchmark ----------------------------------------------------------------------

def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(ROOT, "build-bench"), help="the Release build folder")
    ap.add_argument("--work", default="/tmp/vornel-bench", help="inputs and scratch files")
    ap.add_argument("--rounds", type=int, default=9, help="rounds of the single-file measurements")
    ap.add_argument("--batch-rounds", type=int, default=3, help="rounds of the 100-file batches")
    ap.add_argument("--batch", type=int, default=100, help="files in a thumbnail batch")
    ap.add_argument("--idle", type=float, default=6.0,
                    help="seconds of idleness before each after-idle sample")
    ap.add_argument("--idle-rounds", type=int, default=3,
                    help="rounds of the after-idle turn measurements (0: none)")
    ap.add_argument("--touch-rounds", type=int, default=3,
                    help="rounds of the first-touch probe, warm and after idle (0: none)")
    ap.add_argument("--json", help="also write every measurement here")
    ap.add_argument("--only", choices=["turn", "thumb", "start"], action="append",
                    help="measure only these parts (repeatable); all by default")
    args = ap.parse_args()

    build = os.path.abspath(args.build)
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    have = {n: os.path.exists(os.path.join(build, n)) for n in ("Vornel_L", "Vornel_R", "Quillet")}
    have["convfile"] = os.path.exists(os.path.join(build, "bench", "bench_convfile"))
    have["thumb"] = os.path.exists(os.path.join(build, "bench", "bench_thumb"))
    have["qtfloor"] = os.path.exists(os.path.join(build, "bench", "bench_qt_start"))
    have["touch"] = os.path.exists(os.path.join(build, "bench", "bench_first_touch"))
    missing = [n for n, ok in have.items() if not ok]
    if missing:
        log("not built, left out: " + ", ".join(missing))

    inp = prepare(work)
    load_before = os.getloadavg()[0]
    print(f"inputs: {inp['p24']} (6000x4000, {os.path.getsize(inp['p24']) / 1e6:.1f} MB), "
          f"{inp['p12']} (4000x3000, {os.path.getsize(inp['p12']) / 1e6:.1f} MB); "
          f"baseline 4:2:0, JFIF then Exif; made from {inp['photo']}")
    print(f"median, min, max: wall time over {args.rounds} rounds ({args.batch_rounds} for the batches, "
          f"{args.idle_rounds} after idle); CPU: user + "
          "system time of the process (median); peak RSS: largest resident size; /floor, /peer: ratio of the medians")
    table = Table()
    scratch = os.path.join(work, "scratch")
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    out = os.path.join(scratch, "out.jpg")

    parts = set(args.only or ["turn", "thumb", "start"])
    p24 = inp["p24"]
    n = args.batch
    starts = {}

    # ---- 1. turning one file -------------------------------------------------------
    if "turn" in parts:
        rot = os.path.join(scratch, "rotate")
        vornel = program_copy(os.path.join(build, "Vornel_R"), rot, ROTATE_INI) if have["Vornel_R"] else None
        inproc = os.path.join(scratch, "inproc")
        os.makedirs(inproc)
        bench_cf = None
        if have["convfile"]:
            bench_cf = program_copy(os.path.join(build, "bench", "bench_convfile"), inproc, ROTATE_INI)
        target = os.path.join(scratch, "turn.jpg")
        log(f"turning one 24-MP file, {args.rounds} rounds")
        for r in range(args.rounds):
            # the floor: decode (fast integer IDCT) and encode the turned pixels
            a = timed(["djpeg", "-dct", "fast", "-ppm", "-outfile", "/dev/null", p24])
            b = timed(["cjpeg", "-quality", "66", "-outfile", out, inp["turned"]])
            table.addr("floor: djpeg -dct fast -ppm", a)
            table.addr("floor: cjpeg -quality 66 (turned pixels)", b)
            table.add("floor: djpeg + cjpeg", a.seconds + b.seconds, max(a.maxrss, b.maxrss), a.cpu + b.cpu)
            if bench_cf:
                # two calls in a fresh process: the first meets fresh memory, as the
                # first file of a program does; the second is the routine's own cost
                text, rss = timed_capture([bench_cf, "convfile", p24, target, "2"], cwd=inproc)
                ms = [float(v) for v in text.split()[1::2]]
                table.add("ours: ConvFile, first call in a process", ms[0] / 1e3, rss)
                table.add("ours: ConvFile in one process", ms[1] / 1e3, None)
            if vornel:
                shutil.copy2(p24, target)
                res = timed([vornel, target], cwd=rot, ours=True)
                if r == 0 and jpeg_size(target) != (4000, 6000):
                    sys.exit("Vornel_R did not turn the file")
                table.addr(VORNEL, res)
                shutil.copy2(p24, target)
                table.addr(VORNEL_ONE, timed([vornel, target], cwd=rot, env=ONE_CORE_ENV, ours=True))
                first, _, _, _ = startup(vornel, ".INI")
                table.add("start-up: Vornel_R to its first activation", first)
                first, _, _, _ = startup(vornel, ".INI", ONE_CORE_ENV)
                table.add("start-up: Vornel_R to its first activation, one core", first)
                shutil.copy2(inp["p24hq"], target)
                res = timed([vornel, target], cwd=rot, ours=True)
                table.addr(f"ours: Vornel_R, {os.path.getsize(inp['p24hq']) / 1e6:.1f}-MB file (q97)", res)
            res = timed(["jpegtran", "-rotate", "90", "-outfile", out, p24])
            table.addr("jpegtran -rotate 90", res)
            res = timed(["vips", "rot", p24, out + "[Q=66]", "d90"])
            table.addr("vips rot d90 [Q=66]", res)
            res = timed(["/usr/bin/convert", p24, "-rotate", "90", "-quality", "66", out])
            table.addr("convert -rotate 90 -quality 66", res)
        # After idle: this machine hands freed memory back to its host after a few
        # idle seconds, and memory touched first after that costs much more than
        # memory freed by a run just before. So the whole program and the floor
        # once more, each after a pause with nothing running, as a user meets
        # them who turns one photograph now and then.
        if args.idle_rounds > 0:
            log(f"after {args.idle:g} s idle, {args.idle_rounds} rounds")
        for r in range(args.idle_rounds):
            time.sleep(args.idle)
            a = timed(["djpeg", "-dct", "fast", "-ppm", "-outfile", "/dev/null", p24])
            b = timed(["cjpeg", "-quality", "66", "-outfile", out, inp["turned"]])
            table.add(IDLE_FLOOR, a.seconds + b.seconds, max(a.maxrss, b.maxrss), a.cpu + b.cpu)
            if vornel:
                shutil.copy2(p24, target)
                time.sleep(args.idle)
                res = timed([vornel, target], cwd=rot, ours=True)
                table.addr(IDLE_VORNEL, res)
        # Where a turn's time goes: ConvFile's own steps, one core against all,
        # each in fresh processes (the first call meets fresh memory as the
        # program does; later calls show the routine's own cost), interleaved.
        phases = {"one": [], "all": []}
        if bench_cf:
            log("phases of ConvFile, one core and all cores")
            for r in range(max(3, args.rounds // 2)):
                for key, env in (("all", QUIET_ENV), ("one", ONE_CORE_ENV)):
                    text, _ = timed_capture([bench_cf, "phases", p24, target, "3"], cwd=inproc, env=env)
                    runs, cur = [], None
                    for line in text.splitlines():
                        k, v = line.split()
                        k = k.split(".", 1)[1]
                        if k == "header" or cur is None:
                            cur = {}
                            runs.append(cur)
                        cur[k] = float(v)
                    phases[key].append(runs)
        # The first touch alone, by page size and threads, warm and after idle.
        touch = {}
        if have["touch"] and args.touch_rounds > 0:
            probe = os.path.join(build, "bench", "bench_first_touch")
            cfgs = [("4k", 1), ("4k", os.cpu_count()), ("2m", 1), ("2m", os.cpu_count())]
            log(f"first touch of a 72-MB block, {args.touch_rounds} rounds warm and after {args.idle:g} s idle")
            for when in ("warm", "after idle"):
                for r in range(args.touch_rounds):
                    for pages, threads in cfgs:
                        if when == "after idle":
                            time.sleep(args.idle)
                        text, _ = timed_capture([probe, pages, str(threads)])
                        f = text.split()
                        touch.setdefault((when, pages, threads), []).append((float(f[1]), float(f[3])))
        rot_names = ["floor: djpeg -dct fast -ppm", "floor: cjpeg -quality 66 (turned pixels)", "floor: djpeg + cjpeg",
                     "ours: ConvFile in one process", "ours: ConvFile, first call in a process",
                     VORNEL, VORNEL_ONE,
                     f"ours: Vornel_R, {os.path.getsize(inp['p24hq']) / 1e6:.1f}-MB file (q97)",
                     "jpegtran -rotate 90", "vips rot d90 [Q=66]", "convert -rotate 90 -quality 66"]
        peers = [("jpegtran -rotate 90", "jpegtran"), ("vips rot d90 [Q=66]", "vips"),
                 ("convert -rotate 90 -quality 66", "IM")]
        table.print("1. Turning one 6000x4000 file (times per file)", rot_names, "floor: djpeg + cjpeg", peers)
        if IDLE_FLOOR in table.rows:
            table.print(f"1b. The same after {args.idle:g} s idle before each sample ({args.idle_rounds} rounds; "
                        "the floor's pair runs back to back after one pause)",
                        [IDLE_FLOOR, IDLE_VORNEL], IDLE_FLOOR)
            for warm, idle in (("floor: djpeg + cjpeg", IDLE_FLOOR), (VORNEL, IDLE_VORNEL)):
                if warm in table.rows and idle in table.rows:
                    print(f"   {warm}: warm {table.t(warm) * 1e3:.1f} ms, after idle {table.t(idle) * 1e3:.1f} ms "
                          f"({table.t(idle) / table.t(warm):.2f} x)")
        if bench_cf:
            print_phases(phases, table)
        if touch:
            print_touch(touch, args.idle)

    # ---- 2. thumbnails ----------------------------------------------------------------
    if "thumb" in parts:
        if have["thumb"]:
            tdir = os.path.join(scratch, "thumbone")
            os.makedirs(tdir)
            bench_th = program_copy(os.path.join(build, "bench", "bench_thumb"), tdir, THUMB_INI)
            log("MakeThumbnail per file")
            for size in (64, 640):
                for label, src in (("12 MP", inp["p12"]), ("24 MP", p24)):
                    text, _ = timed_capture([bench_th, str(size), src, str(args.rounds)], cwd=tdir)
                    for v in text.split():
                        table.add(f"ours: MakeThumbnail {label} at {size}", float(v) / 1e3, None)
                    if size == 64:
                        for _ in range(args.rounds):
                            res = timed(["djpeg", "-dct", "fast", "-scale", "1/8", "-outfile", "/dev/null", src])
                            table.addr(f"djpeg -dct fast -scale 1/8, {label}", res)
            table.print("2a. One thumbnail, in one process (times per file)",
                        [f"ours: MakeThumbnail {l} at {s}" for s in (64, 640) for l in ("12 MP", "24 MP")] +
                        [f"djpeg -dct fast -scale 1/8, {l}" for l in ("12 MP", "24 MP")])

        bdir = os.path.join(scratch, "batch")
        os.makedirs(bdir)
        files = [os.path.join(bdir, f"p{i:03d}.jpg") for i in range(n)]
        for f in files:
            shutil.copy2(inp["p12"], f)
        quillet = program_copy(os.path.join(build, "Quillet"), os.path.join(scratch, "quillet"), THUMB_INI) if have["Quillet"] else None
        tn = os.path.join(scratch, "tn")
        os.makedirs(tn)
        log(f"thumbnail batches of {n} copies of the 12-MP file, {args.batch_rounds} rounds")

        def batch(name, make_cmd):
            total, peak, cpu = 0.0, 0, 0.0
            for f in files:
                res = timed(make_cmd(f))
                total += res.seconds
                cpu += res.cpu
                peak = max(peak, res.maxrss)
            table.add(name, total, peak, cpu)

        for r in range(args.batch_rounds):
            batch(f"{n} x djpeg -dct fast -scale 1/8",
                  lambda f: ["djpeg", "-dct", "fast", "-scale", "1/8", "-outfile", "/dev/null", f])
            if quillet:
                res = timed([quillet] + files, cwd=os.path.dirname(quillet), ours=True)
                table.addr(f"ours: Quillet with {n} files (one process)", res)
            batch(f"{n} x vipsthumbnail -s 64 [Q=66]",
                  lambda f: ["vipsthumbnail", f, "-s", "64", "-o", os.path.join(tn, "%s.jpg[Q=66]")])
            res = timed(["vipsthumbnail"] + files + ["-s", "64", "-o", os.path.join(tn, "%s.jpg[Q=66]")])
            table.addr(f"vipsthumbnail with {n} files (one process)", res)
            batch(f"{n} x convert -define jpeg:size -thumbnail 64",
                  lambda f: ["/usr/bin/convert", "-define", "jpeg:size=128x128", f, "-thumbnail", "64x64",
                             "-quality", "66", os.path.join(tn, "im.jpg")])
        if quillet:
            made = [f for f in os.listdir(bdir) if f.startswith("$_")]
            if len(made) != n:
                log(f"warning: Quillet wrote {len(made)} thumbnails, not {n}")
        thumb_names = [f"{n} x djpeg -dct fast -scale 1/8", f"ours: Quillet with {n} files (one process)",
                       f"{n} x vipsthumbnail -s 64 [Q=66]", f"vipsthumbnail with {n} files (one process)",
                       f"{n} x convert -define jpeg:size -thumbnail 64"]
        table.print(f"2b. Thumbnails at 64 of {n} copies of the 4000x3000 file (times per batch)", thumb_names,
                    f"{n} x djpeg -dct fast -scale 1/8",
                    [(f"{n} x vipsthumbnail -s 64 [Q=66]", "vthumb"),
                     (f"{n} x convert -define jpeg:size -thumbnail 64", "IM")])

    # ---- 3. start-up ------------------------------------------------------------------
    if "start" in parts:
        log("start-up to the first activation")
        progs = []
        for name, ini in (("Vornel_L", ROTATE_INI), ("Vornel_R", ROTATE_INI), ("Quillet", THUMB_INI)):
            if have[name]:
                progs.append((name, program_copy(os.path.join(build, name), os.path.join(scratch, "start-" + name), ini),
                              QUIET_ENV))
        if have["qtfloor"]:
            floor_exe = program_copy(os.path.join(build, "bench", "bench_qt_start"), os.path.join(scratch, "start-qt"), "")
            progs.append(("Qt floor: a bare window", floor_exe, QUIET_ENV))
            progs.append(("Qt floor: a window with one Japanese label", floor_exe, dict(QUIET_ENV, BENCH_QT_TEXT="1")))
        for r in range(args.rounds):
            for name, exe, env in progs:
                try:
                    first, end, rss, code = startup(exe, ".INI", env)
                except RuntimeError as e:
                    log(str(e))
                    continue
                starts.setdefault(name, []).append((first, end, rss, code))
        if starts:
            print("\n3. Start-up offscreen, the command line holding one path that is passed over")
            print(f"  {'':44s} {'to 1st activation':>18s} {'to exit':>9s} {'peak RSS':>9s}  exit status")
            for name, xs in starts.items():
                codes = sorted({c for *_, c in xs})
                print(f"  {name:44s} {med([x[0] for x in xs]) * 1e3:16.1f}ms {med([x[1] for x in xs]) * 1e3:7.1f}ms "
                      f"{max(x[2] for x in xs) / 1e6:7.1f}MB  {codes}")
            print("  (first activation: the moment the program's close handler has written its settings file,")
            print("   which it does when the first activation's batch is over; seen from outside with inotify)")

    # ---- the targets --------------------------------------------------------------------
    load_after = os.getloadavg()[0]
    print(f"\nLoad average (1 min) before / after: {load_before:.1f} / {load_after:.1f} on {os.cpu_count()} CPUs")
    if max(load_before, load_after) > 1.5:
        print("  the machine was busy with other work: wall times are inflated; CPU times are steadier")
    print("\nTargets (24-MP input; ratios from the medians of this run)")
    floor = table.t("floor: djpeg + cjpeg")

    def verdict(label, value, limit, unit=""):
        if value != value:  # NaN: not measured
            print(f"  [ n/a ] {label}: not measured")
            return
        ok = value <= limit
        print(f"  [{' MET ' if ok else 'MISSED'}] {label}: {value:.2f}{unit} (at most {limit:.2f}{unit})")

    cf = table.t("ours: ConvFile in one process")
    vr = table.t(VORNEL)
    verdict("Vornel_R / floor, warm (runs back to back)", vr / floor, 1.0)
    verdict(f"Vornel_R / floor, each sample after {args.idle:g} s idle (the floor after idle too)",
            table.t(IDLE_VORNEL) / table.t(IDLE_FLOOR), 1.3)
    verdict("Vornel_R / jpegtran -rotate 90", vr / table.t("jpegtran -rotate 90"), 0.4)
    verdict("Vornel_R / vips rot d90", vr / table.t("vips rot d90 [Q=66]"), 0.5)
    verdict("Vornel_R / ImageMagick convert -rotate 90", vr / table.t("convert -rotate 90 -quality 66"), 0.15)
    verdict("Vornel_R peak memory (RSS) of the turn", table.m(VORNEL) / 1e6, MEMORY_LIMIT / 1e6, " MB")
    q = table.t(f"ours: Quillet with {n} files (one process)")
    verdict(f"Quillet, {n} x 12 MP at 64 / {n} x djpeg -scale 1/8", q / table.t(f"{n} x djpeg -dct fast -scale 1/8"), 1.1)
    print("  earlier targets:")
    verdict("ConvFile (a later call in one process) / floor", cf / floor, 1.15)
    first = table.t("ours: ConvFile, first call in a process")
    if first == first:
        print(f"  [ info ] ConvFile's first call in a fresh process / floor: {first / floor:.2f}")
    verdict(f"Quillet batch / {n} vipsthumbnail", q / table.t(f"{n} x vipsthumbnail -s 64 [Q=66]"), 0.8)
    one = table.t(VORNEL_ONE)
    if one == one and vr == vr:
        print(f"  [ info ] Vornel_R all cores / one core: {vr / one:.2f} ({vr * 1e3:.1f} ms against {one * 1e3:.1f} ms)")
    hq = f"ours: Vornel_R, {os.path.getsize(inp['p24hq']) / 1e6:.1f}-MB file (q97)"
    if hq in table.rows:
        verdict(f"Vornel_R peak memory, {os.path.getsize(inp['p24hq']) / 1e6:.1f}-MB file",
                table.m(hq) / 1e6, MEMORY_LIMIT / 1e6, " MB")
    if starts:
        for name, xs in starts.items():
            print(f"  [ info ] start-up of {name}: {med([x[0] for x in xs]) * 1e3:.1f} ms to its first activation")

    for name, codes in CRASHES.items():
        print(f"  [ note ] {name} ended with status {sorted(codes)} after its work (the output was checked)")

    if args.json:
        with open(args.json, "w") as f:
            json.dump({"rows": table.rows, "startup": starts}, f, indent=1)


if __name__ == "__main__":
    main()
