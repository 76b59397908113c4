# Byte surgery on AVI files and VOXA frames, for the scripts that make
# damaged or unusual files; sourced.
#
#   le FILE OFFSET BYTES           the unsigned little-endian number there
#   le32s FILE OFFSET              the signed 32-bit one
#   put_le FILE OFFSET BYTES VALUE writes VALUE there, little-endian
#   le32 VALUE                     VALUE as 4 little-endian bytes, on stdout
#   at FILE TEXT [N]               the offset of the Nth (default first; $ the
#                                  last) TEXT in FILE
#   avi_frame AVI N                offset of the Nth (from 1) frame's chunk
#                                  header, from the index
#   avi_frame_size AVI N           its size, from the index
#   avi_replace_frame AVI N FRAME  puts the bytes of FRAME in place of the Nth
#                                  frame, which must be as large or at least 8
#                                  bytes larger: the chunk and the index say
#                                  the new size, a JUNK chunk fills the rest
le() { od -An -v -tu1 -j "$2" -N "$3" "$1" | awk '{ for (i = NF; i >= 1; i--) v = v * 256 + $i } END { printf "%.0f\n", v }'; }
le32s() { local v; v=$(le "$1" "$2" 4); echo $((v >= 2147483648 ? v - 4294967296 : v)); }
le32() {
  local out= i
  for ((i = 0; i < 4; i++)); do out+=$(printf '\\%03o' $(($1 >> 8 * i & 255))); done
  printf "$out"
}
put_le() {
  local out= i
  for ((i = 0; i < $3; i++)); do out+=$(printf '\\%03o' $(($4 >> 8 * i & 255))); done
  printf "$out" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
at() { grep -obUa "$2" "$1" | sed -n "${3:-1}s/:.*//p"; }

avi_index_entry() { echo $(($(at "$1" idx1 '$') + 8 + 16 * ($2 - 1))); }
avi_frame() { echo $(($(at "$1" movi) + $(le "$1" $(($(avi_index_entry "$1" "$2") + 8)) 4))); }
avi_frame_size() { le "$1" $(($(avi_index_entry "$1" "$2") + 12)) 4; }
avi_replace_frame() {
  local chunk old new room
  chunk=$(avi_frame "$1" "$2")
  old=$(avi_frame_size "$1" "$2")
  new=$(wc -c <"$3")
  room=$(((old + 1 & ~1) - (new + 1 & ~1)))
  if [ "$room" -ne 0 ] && [ "$room" -lt 8 ]; then
    echo "frame $2 of $1: no room for $3 ($new bytes in $old)" >&2
    return 1
  fi
  dd if="$3" of="$1" bs=1 seek=$((chunk + 8)) conv=notrunc status=none
  put_le "$1" $((chunk + 4)) 4 "$new"
  put_le "$1" $(($(avi_index_entry "$1" "$2") + 12)) 4 "$new"
  if [ "$room" -gt 0 ]; then
    printf JUNK | dd of="$1" bs=1 seek=$((chunk + 8 + (new + 1 & ~1))) conv=notrunc status=none
    put_le "$1" $((chunk + 12 + (new + 1 & ~1))) 4 $((room - 8))
  fi
}
