#!/usr/bin/env bash
# Device code never touches the heap: none of the given object files may refer to an
# allocation function.
#
# usage: [NM=TOOLCHAIN-nm] check_no_heap.sh OBJECT...
set -euo pipefail
nm=${NM:-nm}
pattern='^(malloc|calloc|realloc|free|aligned_alloc|posix_memalign|memalign|strdup|wcsdup|_wcsdup|_Znw.*|_Zna.*|_Zdl.*|_Zda.*|LocalAlloc|GlobalAlloc|HeapAlloc)$'
found=0
for object in "$@"; do
    symbols=$("$nm" -u --format=just-symbols "$object")
    if heap=$(grep -E "$pattern" <<< "$symbols"); then
        echo "$object uses the heap: $(tr '\n' ' ' <<< "$heap")"
        found=1
    fi
done
[[ $found -eq 0 ]] && echo "no allocation function in: $*"
exit $found
