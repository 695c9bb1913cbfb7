# Sourced by the run scripts. The caller sets `dir` (the work folder) and `fuzz` (the
# target) and defines `make_seeds SEEDS`, which fills the empty folder SEEDS.
# fuzz_run SECONDS: makes the seed corpus on first use, then runs the target on it and on
# what earlier runs found; crashes go to DIR/crashes.
fuzz_run() {
  local seconds=$1 seeds=$dir/seeds corpus=$dir/corpus
  mkdir -p "$corpus" "$dir/crashes"
  if [ ! -f "$seeds/.done" ]; then
    rm -rf "$seeds"
    mkdir -p "$seeds"
    make_seeds "$seeds"
    touch "$seeds/.done"
  fi
  cd "$dir"
  exec "$fuzz" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$dir/crashes/" -print_final_stats=1 "$corpus" "$seeds"
}
