#!/usr/bin/env bash
# product.py refuses a vendor's text that the code fills in printf-style when its
# directives are not the default's: each case edits one line of the default definition.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
# expected result | key | its new value
# the pictures are named relative to the definition
mkdir -p "$work/product" "$work/res"
ln -s "$repo/res/art" "$work/res/art"
while IFS='|' read -r want key text; do
  sed "s|^$key = .*|$key = \"$text\"|" "$repo/product/default.product" >"$work/product/p.product"
  if python3 "$repo/product/product.py" "$work/product/p.product" "$work/out" >"$work/log" 2>&1; then got=accepted; else got=refused; fi
  if [ "$got" != "$want" ]; then
    echo "product_formats: $key = \"$text\": $got, expected $want"; cat "$work/log"; status=1
  fi
done <<'CASES'
accepted|browser_error|执行软件时出错：%s
refused|browser_error|执行软件时出错：%s %n
refused|browser_error|执行软件时出错：100%
refused|archiver_ended|解压程序 %s 意外结束。
refused|archiver_ended|解压程序 %d 意外结束。%s
refused|no_manifest|在 %s%s 中找不到
accepted|no_manifest|在 %s 中找不到有效的安装清单。
accepted|done|已删除 100%。
CASES
exit $status
