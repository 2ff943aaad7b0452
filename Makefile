# make test: install what is missing, build with the sanitizers, run every test.
# make run:  install what is missing, build, run the camera on the simulated board
#            (./board-root, kept between runs) through camrun: keys from a
#            terminal, or a short recording when standard input is not one.
JOBS ?= $(shell nproc)
TEST_DIR := build/test
RUN_DIR := build/release
BOARD_ROOT ?= $(CURDIR)/board-root

.PHONY: all setup test run bench clean

all: test

setup:
	@scripts/setup

$(TEST_DIR)/CMakeCache.txt:
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCAMERA_SANITIZE=ON -DCAMERA_BENCH=OFF

test: setup $(TEST_DIR)/CMakeCache.txt
	cmake --build $(TEST_DIR) -j$(JOBS)
	cd $(TEST_DIR) && ctest --output-on-failure -j$(JOBS)

$(RUN_DIR)/CMakeCache.txt:
	cmake -S . -B $(RUN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCAMERA_TESTS=OFF

run: setup $(RUN_DIR)/CMakeCache.txt
	cmake --build $(RUN_DIR) -j$(JOBS) --target camera camctl camrun
	$(RUN_DIR)/camrun -r $(BOARD_ROOT)

bench: setup $(RUN_DIR)/CMakeCache.txt
	cmake --build $(RUN_DIR) -j$(JOBS)
	@for b in $(RUN_DIR)/bench/*_bench; do echo "== $$b"; $$b; done

clean:
	rm -rf build
