# The two entry points are `make run` and `make test`; both install what is missing first.
PYTHON ?= python3
JOBS ?= 2
APT_PACKAGES := g++ cmake pkg-config libcctz-dev libicu-dev libtsl-ordered-map-dev tzdata libgtest-dev \
  clang libclang-rt-14-dev
PIP_PACKAGES := scikit-build-core pytest hypothesis
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
ASAN_SITE := build/asan-site
FUZZ_SECONDS ?= 30

.PHONY: run test deps install cpp-test asan-test fuzz format

run: deps install
	$(PYTHON) examples/quickstart.py

test: deps cpp-test install
	$(PYTHON) -m pytest -q

deps:
	@missing=""; for p in $(APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing >/dev/null; \
	fi
	@$(PYTHON) -c "import scikit_build_core, pytest, hypothesis" 2>/dev/null || \
	  $(PYTHON) -m pip install -q $(PIP_PACKAGES)

install:
	CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) $(PYTHON) -m pip install -q --no-build-isolation .

cpp-test:
	cmake -S . -B build/cpp -DTABRIX_TESTS=ON -DTABRIX_PYTHON=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
	cmake --build build/cpp -j$(JOBS)
	build/cpp/tabrix_tests --gtest_brief=1

# The Python suite again against an AddressSanitizer + UndefinedBehaviorSanitizer build.
# --capture=sys leaves file descriptor 2 alone, so a sanitizer report reaches the log.
asan-test: deps
	CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) $(PYTHON) -m pip install -q --no-build-isolation --upgrade \
	  --target $(ASAN_SITE) -Cbuild-dir=build/asan -Ccmake.define.TABRIX_SANITIZE=ON \
	  -Ccmake.build-type=RelWithDebInfo .
	PYTHONPATH=$(ASAN_SITE) LD_PRELOAD=$$(g++ -print-file-name=libasan.so) \
	  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  $(PYTHON) -m pytest -q -p no:cacheprovider --capture=sys

# The libFuzzer targets of tests/fuzz (clang, ASan + UBSan), each run FUZZ_SECONDS from its
# seed corpus; any finding fails.
fuzz: deps
	cmake -S . -B build/fuzz -DTABRIX_FUZZ=ON -DTABRIX_PYTHON=OFF -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" >/dev/null
	cmake --build build/fuzz -j$(JOBS)
	tests/fuzz/run.sh $(FUZZ_SECONDS)

format:
	clang-format -i src/*/*.h src/*/*.cpp tests/cpp/*.cpp tests/fuzz/*.h tests/fuzz/*.cpp
