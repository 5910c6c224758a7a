#!/usr/bin/env python3
"""Turns an X window dump (xwd, 24-bit TrueColor as Xvfb writes it) into a PNG file: xwd-to-png.py IN.xwd OUT.png."""
import struct, zlib, sys
d=open(sys.argv[1],'rb').read()
h=struct.unpack('>25I', d[:100])
hs,ver,fmt,depth,w,hgt=h[0:6]; byte_order=h[7]; bpp=h[11]; bpl=h[12]; ncolors=h[19]
off=hs+ncolors*12
rows=[]
for y in range(hgt):
    line=d[off+y*bpl: off+y*bpl+w*4]
    px=bytearray()
    for x in range(w):
        b,g,r,a=line[4*x:4*x+4] if byte_order==0 else line[4*x+3:4*x-1 if x else None:-1]
        px+=bytes((r,g,b))
    rows.append(b'\x00'+bytes(px))
raw=b''.join(rows)
def chunk(t,data): return struct.pack('>I',len(data))+t+data+struct.pack('>I',zlib.crc32(t+data)&0xffffffff)
png=b'\x89PNG\r\n\x1a\n'+chunk(b'IHDR',struct.pack('>IIBBBBB',w,hgt,8,2,0,0,0))+chunk(b'IDAT',zlib.compress(raw,6))+chunk(b'IEND',b'')
open(sys.argv[2],'wb').write(png)
