import os
import struct
def xpnd(total, head, pattern):
    return b'XPND' + struct.pack('<IH', total, len(head)) + head + pattern
def bmp_head(w, h, comp, colours=1):
    b = bytearray(54)
    b[0:2] = b'BM'
    struct.pack_into('<I', b, 10, 54)
    struct.pack_into('<IiiHHI', b, 14, 40, w, h, 1, 8, comp)
    struct.pack_into('<I', b, 46, colours)
    return bytes(b)
def wav(channels, rate, bits, length, data=b''):
    align = channels * bits // 8
    h = b'RIFF' + struct.pack('<I', (50 + length) & 0xffffffff) + b'WAVEfmt ' + struct.pack('<IHHIIHHH', 18, 1, channels, rate, rate * align, align, bits, 0)
    h += b'fact' + struct.pack('<II', 4, length // max(align, 1)) + b'data' + struct.pack('<I', length)
    return h + data
def song_header(interval, loop, length, n, note=300, octave=3):
    h = bytearray(1048)
    h[0:8] = b'fuzzsong'
    struct.pack_into('<Iiii', h, 8, interval, loop, length, n)
    for t in range(3):
        r = 24 + 340 * t
        h[r] = octave
        struct.pack_into('<Ii', h, r + 4, note, 250)
        for k in range(256): h[r + 20 + k] = (90 if k < 128 else -90) & 0xff
        for k in range(64): h[r + 276 + k] = 127 - k
    struct.pack_into('<i', h, 1044, 200)
    return bytes(h)
def w(path, data):
    open('tests/fuzz/' + path, 'wb').write(data if isinstance(data, bytes) else data.encode())
# pictures: one row of runs adding up to more than 2^31 pixels (16.8 MB written small); height -2^31;
# a 1 KB RLE8 file that claims 8192 x 8192; a file of 8 MiB + 1
w('picture/rle8-column-overflow', xpnd(54 + 2 * ((1 << 23) + 40000), bmp_head(4, 2, 1), b'\xff\x07'))
w('picture/height-int-min', bmp_head(4, -2**31, 0) + b'\0')
w('picture/rle8-claims-8192', bmp_head(8192, 8192, 1) + b'\x00\x01' + bytes(1000))
w('picture/file-over-8mib', xpnd((8 << 20) + 1, bmp_head(640, 480, 0, 256) + bytes(1024), b'\x05'))
# effects: 8-bit mono at 100 Hz (256 KiB and 5 MiB); 16 MiB of CD sound (the largest that loads);
# a data length of 4 GiB - 1 in a short file
w('effect/100hz-256kib', xpnd(58 + (256 << 10), wav(1, 100, 8, 256 << 10), b'\x80\xc0'))
w('effect/100hz-5mib', xpnd(58 + (5 << 20), wav(1, 100, 8, 5 << 20), b'\x80\xc0'))
w('effect/16mib-stereo', xpnd(58 + (16 << 20), wav(2, 44100, 16, 16 << 20), b'\x00\x10\x00\xf0'))
w('effect/data-length-max', wav(1, 22050, 8, 0xffffffff, b'\x80' * 100))
# songs: the longest track with every voice on every step; the longest notes, and one byte longer;
# files that end inside the header and inside track 1; octave shift 20 and a negative pan index
w('song/longest-track', xpnd(1048 + 16 * (1 << 20), song_header(1, 0, 1 << 20, 1 << 20), b'\xff\xff\xff\x07'))
w('song/longest-notes', song_header(50, 0, 4, 4, 1 << 18) + b'\x01\x00\x00\x00' * 16)
w('song/notes-too-long', song_header(50, 0, 4, 4, (1 << 18) + 1) + b'\x01\x00\x00\x00' * 16)
w('song/ends-in-header', song_header(50, 0, 4, 4)[:30])
w('song/ends-in-track', song_header(50, 0, 4, 4) + b'\x01\x00\x00\x00' * 5 + b'\x02')
w('song/octave-20-pan-negative', song_header(50, 0, 2, 2, 300, 20) + b'\x01\x00\x00\x80' * 8)
# script text: codes cut off by the end, no end code, no markers, bytes above 127
w('script/cut-short', b'tx0Hello<*again</x<wv9<w<+<q tx1 no end tx2<')
w('script/empty', b'')
w('script/high-bytes', b'tx0\x80\xff\x7f<!tx1ttx1tx<!tx2<wv')
# the song language: nested repeats of a large chord (once 1.2 GB); more steps than a track holds;
# the note length limit and notes at the ends of the range
chord = '+'.join(n + str(o) for o in (4, 5) for n in ('C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B'))
w('songlang/nested-repeat-chords', 'track 0\n [ [ [ [ ' + '+'.join([chord] * 4) + ' ]x16 ]x256 ]x16 ]x16\nend\n')
w('songlang/too-many-steps', 'track 0\n [ [ [ C4:4096 ]x256 ]x256 ]x256\nend\ntrack 1\n C4:4096 C4:4096\nend\n')
w('songlang/length-limit', 'instrument 0\n length 262145\nend\ninstrument 1\n length 262144\nend\ntrack 0\n C4 B#9 Cb0 v23 v24 @8 @4\nend\n')
# picture sources: gradients under huge and tiny scales
w('art/huge-scale-gradient', 'size 16 16\npalette main\nscale 1000000\nscale 1000000\nvgrad 0 0 8 8 0 1\nrgrad 4 4 4 0 1\n')
w('art/tiny-scale-gradient', 'size 16 16\npalette main\nscale 0.000001\nscale 0.000001\nhgrad 0 0 8 8 0 1\n')
# picture sources with the files beside them ("--- NAME" starts one; see fuzz/art.cpp and fuzz/reload.cpp),
# made from tests/hostile-pictures: an include tree followed 32^5 times if nothing stopped it, a picture
# that paints its whole area 100 times, one larger than the game reads, includes of devices; the live
# reload saving the tree and the costly picture, and an include made costly under two pictures.
def hostile(name):
    return open('tests/hostile-pictures/' + name).read()
def beside(*names):
    return ''.join('--- %s\n%s' % (n, hostile(n)) for n in names)
tree = ['tree%d.inc' % i for i in range(1, 7)]
w('art/include-tree', hostile('tree.pic') + beside('p.pal', *tree))
w('art/drawing-cost', hostile('cost.pic') + beside('p.pal'))
w('art/larger-than-read', hostile('side.pic') + beside('p.pal'))
w('art/device-includes', 'size 8 8\npalette p\ninclude zero.inc\ninclude pipe.inc\n'
  'include ' + '../' * 20 + 'dev/zero\n' + beside('p.pal'))
os.makedirs('tests/fuzz/reload', exist_ok=True)
w('reload/hostile-saves', ''.join('1 save pictures/%s %s\n' % (n, n) for n in tree) +
  '2 save pictures/tree.pic tree.pic\n3 save pictures/cost.pic cost.pic\n4 save pictures/sky.inc cost.pic\n6 press z\n' +
  beside(*tree, 'tree.pic', 'cost.pic'))
# the checker (first byte: which file): a huge RLE picture, a script of many bad codes, an effect at
# 100 Hz, a song that ends early
w('check/picture-rle8-overflow', b'\x01' + xpnd(54 + 2 * ((1 << 23) + 40000), bmp_head(4, 2, 1), b'\xff\x07'))
w('check/script-many-codes', b'\x00' + b'tx0' + b'<%' * 30000 + b'<!\n')
w('check/effect-100hz', b'\x05' + xpnd(58 + (1 << 20), wav(1, 100, 8, 1 << 20), b'\x80'))
w('check/song-ends-early', b'\x07' + song_header(50, 0, 4, 4)[:500])
# kirake-sfx import (first byte: the rate and bits asked): a data length of 4 GiB - 1 in a short file;
# 8 MiB at 1000 Hz asked at 48000 Hz (refused by its head); 24-bit samples in 32-bit extensible frames;
# a "fmt " chunk cut short
def wavx(channels, rate, valid, container, length, data=b''):
    align = channels * container // 8
    fmt = struct.pack('<HHIIHHHHI', 0xFFFE, channels, rate, rate * align, align, container, 22, valid, 3)
    fmt += b'\x01\x00' + bytes([0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71])
    return b'RIFF' + struct.pack('<I', 4 + 8 + len(fmt) + 8 + length) + b'WAVEfmt ' + struct.pack('<I', len(fmt)) + fmt + \
        b'data' + struct.pack('<I', length) + data
os.makedirs('tests/fuzz/wav', exist_ok=True)
w('wav/data-length-max', b'\x00' + wav(1, 22050, 8, 0xffffffff, b'\x80' * 100))
w('wav/1000hz-8mib-to-48000', b'\x05' + xpnd(58 + (8 << 20), wav(1, 1000, 8, 8 << 20), b'\x80\xc0'))
w('wav/extensible-24-in-32', b'\x04' + wavx(2, 48000, 24, 32, 800, bytes(range(200)) * 4))
w('wav/fmt-cut-short', b'\x00' + b'RIFF\x20\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00')
# Small seeds for the corpus kept in fuzz/corpus (the campaigns add what they find with ./setup fuzz-merge):
# pictures within the fuzzers' lowered limits, a short effect, a short song, key scripts, option values.
def c(path, data):
    os.makedirs('fuzz/corpus/' + os.path.dirname(path), exist_ok=True)
    open('fuzz/corpus/' + path, 'wb').write(data if isinstance(data, bytes) else data.encode())
def bmp(w, h, comp, pixels):
    head = bytearray(bmp_head(w, h, comp, 256))
    struct.pack_into('<I', head, 10, 54 + 1024)
    return bytes(head) + bytes(b for i in range(256) for b in (i, 255 - i, i // 2, 0)) + pixels
c('picture/plain-8x4', bmp(8, 4, 0, bytes(range(32))))
c('picture/rle-8x4', bmp(8, 4, 1, b'\x08\x09\x00\x03\x01\x02\x03\x00\x00\x04\x07\x00\x02\x01\x01\x02\x05\x00\x01'))
c('effect/short-22050', wav(1, 22050, 8, 64, bytes(range(64, 128))))
c('effect/short-stereo-16', wav(2, 44100, 16, 64, bytes(64)))
c('song/two-steps', song_header(50, 0, 2, 2) + b'\x01\x00\x00\x03' * 4 + b'\x05\x00\x00\x00' * 4)
c('keys/every-action', '0 press z x\n3 down left  # held\n9 up left\n12 deactivate 500\n20 save data.txt from.txt\n30 escape\n40 close\n')
c('options/route-and-ranges', b'route:heren\x000,10-20,5')
c('options/roll', b'roll:miss:2\x00100-100')
c('wav/stereo-16-44100', b'\x00' + wav(2, 44100, 16, 400, bytes(range(200)) * 2))
c('wav/mono-8-8000-to-8', b'\x09' + wav(1, 8000, 8, 300, bytes(range(50, 250)) + bytes(100)))
# the storyboard's paths: a choice, a draw whose outcomes lead two ways, a loop back to the title
c('storyboard/choice-draw-loop', 'scene title\n  say 0\n  choice answer first-1 first-2 first-3\n  draw luck 3\n'
  '  if luck = 1 goto lucky\n  if answer = 2 goto title\n  say 3\n  roll credits\nlabel lucky\n  wait key\n  goto title\n')
c('wav/1000hz-to-48000', b'\x05' + wav(1, 1000, 8, 2000, bytes(range(256)) * 7 + bytes(208)))
# picture sources beside their includes and palette; the live reload saving a palette, pictures, an
# include of the project's FIFO and device link, a song and the text; a story script and a new picture
c('art/include-tree-small', 'size 32 32\npalette p\ninclude t1.inc\n--- p.pal\n0 black #000000\n1 red #ff0000\n'
  '--- t1.inc\ninclude t2.inc\ninclude t2.inc\ndef dot\ncircle red 8 8 4\nend\n--- t2.inc\nrect red 1 1 3 3\nuse dot\n')
c('art/device-includes', 'size 16 16\npalette p\ninclude pipe.inc\ninclude zero.inc\n--- p.pal\n0 black #000000\n')
c('reload/saves', '2 save pictures/p.pal p.pal\n4 save pictures/stage1.pic s.pic\n6 save pictures/sky.inc sky.inc\n'
  '8 save songs/koi.song k.song\n10 save data.txt d.txt\n12 save bmp/sensei.BMP s.pic\n'
  '--- p.pal\n0 black #000000\n1 red #ff0000\n2 blue #0000ff\n3 green #00ff00\n'
  '--- s.pic\nsize 48 40\npalette p\ninclude sky.inc\ninclude pipe.inc\n'
  '--- sky.inc\nrect green 0 0 48 20\ninclude zero.inc\n--- k.song\ntempo 130\n--- d.txt\ntx0Summer.<!\n')
c('reload/script-and-new-picture', '1 save scenes.txt sc.txt\n3 press z\n5 save pictures/new.pic n.pic\n'
  '7 save pictures/zero.inc n.pic\n9 save songs/koi.song k.song\n--- sc.txt\nscene start\n  say 0\n'
  '--- n.pic\nsize 300 20\npalette p\nrgrad 5 5 9 1 2\n--- k.song\ntempo 200\ninstrument 0\n  length 2000\nend\n'
  'track 0\n  C4 D4 E4\nend\n')
# the fuzzer runs two saves of a script and reads 1 KiB: an include tree past the fuzz build's 16
# includes; a costly picture saved over the include two pictures share
c('reload/hostile-tree', '1 save pictures/tree1.inc tree1.inc\n2 save pictures/tree.pic tree.pic\n4 press z\n'
  '--- tree1.inc\n' + 'include sky.inc\n' * 17 + '--- tree.pic\nsize 8 8\npalette p\ninclude tree1.inc\n')
c('reload/hostile-cost', '1 save pictures/sky.inc cost.pic\n3 press z\n--- cost.pic\nsize 256 256\npalette p\n' +
  'rgrad 128 128 200 red green black\n' * 4)
