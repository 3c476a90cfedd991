# The two everyday commands are `make run` and `make test`; see README.md.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
JOBS       ?= $(shell nproc)
GENERATOR  := -G Ninja

.PHONY: all deps configure build run setup demo test asan tsan bench fuzz format format-check clean

all: build

deps:
	@bash scripts/deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

# The installer on the desktop profile in an SDL window; a device started with
# `kelvano-device start` is found through the build's rapi.dll.
setup: build
	@bash scripts/setup.sh $(BUILD)

# The computer plays both sides, game after game, with a registry of its own.
demo: build
	@bash scripts/run.sh $(BUILD) --demo

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

asan: deps
	@cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DKELVANO_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The threaded test programs only (label "threaded", see cmake/Kelvano.cmake), with the
# programs they start, under ThreadSanitizer; optimised, as the sanitizer slows them tenfold.
# Every process writes its reports to tsan-logs/ (a child's stderr is often a log or
# nothing); any race, deadlock or misuse there fails the target. Deliberate crashes of the
# crash tests are logged too, and are not counted.
TSAN_LOGS = $(abspath $(TSAN_BUILD))/tsan-logs
tsan: deps
	@cmake -S . -B $(TSAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVANO_TSAN=ON >/dev/null
	@cmake --build $(TSAN_BUILD) --target kelvano_threaded_tests -j $(JOBS)
	@rm -rf $(TSAN_LOGS) && mkdir -p $(TSAN_LOGS)
	@TSAN_OPTIONS="log_path=$(TSAN_LOGS)/report suppressions=$(CURDIR)/tests/tsan.supp second_deadlock_stack=1 $(TSAN_OPTIONS)" \
	  ctest --test-dir $(TSAN_BUILD) -L threaded --output-on-failure -j $(JOBS); status=$$?; \
	reports=$$(grep -l 'WARNING: ThreadSanitizer' $(TSAN_LOGS)/* 2>/dev/null); \
	for f in $$reports; do echo "== $$f"; cat $$f; done; \
	if [ -n "$$reports" ]; then echo "ThreadSanitizer reports: $$(echo $$reports | wc -w) processes"; exit 1; fi; \
	exit $$status

bench: deps
	@cmake -S . -B $(BENCH_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DKELVANO_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for b in $(BENCH_BUILD)/bench/*_bench; do echo "== $$b"; $$b || exit 1; done

# Each libFuzzer program runs FUZZ_SECONDS seconds, one at a time, from the corpus kept in
# fuzz/corpus/<program> (plus the real inputs fuzz/seed.sh takes from $(BUILD)), which is then
# minimised again (see FUZZING.md).
fuzz:
	@bash scripts/deps.sh fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVANO_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@[ ! -d $(BUILD)/skinart ] || BUILD=$(BUILD) FUZZ_BUILD=$(FUZZ_BUILD) bash fuzz/seed.sh >/dev/null
	@for f in $(FUZZ_BUILD)/fuzz/*_fuzz; do \
	  [ -x "$$f" ] || continue; \
	  name=$$(basename $$f); \
	  echo "== $$name ($(FUZZ_SECONDS) s)"; \
	  FUZZ_BUILD=$(FUZZ_BUILD) bash fuzz/run.sh $$name $(FUZZ_SECONDS) || exit 1; \
	  FUZZ_BUILD=$(FUZZ_BUILD) bash fuzz/merge.sh $$name || exit 1; \
	done

# Layout is decided by .clang-format; CI fails on a file that does not match it.
format: deps
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check: deps
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
