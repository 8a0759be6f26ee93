"""Fixtures of the end-to-end tests: a template prefix per build and a fresh
machine (a clone with its own wineserver) per test."""

import re

import pytest

from kivo import install_kivo
from machine import Bed, Machine, Template


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "slow: takes minutes; run only by the ctest entry e2e_<file>_slow")


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    setattr(item, "report_" + report.when, report)


@pytest.fixture(scope="session")
def bed():
    return Bed.from_environment()


@pytest.fixture(scope="session")
def template(bed):
    return Template(bed).ensure()


@pytest.fixture(scope="module")
def machines_dir(request, bed):
    """Where this test file's clones go. Servers that a killed earlier run left
    there are stopped first, and again when the file is done."""
    folder = bed.work_dir / "machines" / request.node.path.stem
    Machine.stop_servers_under(folder)
    yield folder
    Machine.stop_servers_under(folder)


@pytest.fixture
def machine(request, bed, template, machines_dir):
    """A Windows machine of its own for this test. Its server is stopped at
    the end; the clone is removed when the test passed and kept otherwise."""
    name = re.sub(r"[^\w.-]+", "_", request.node.nodeid.split("::", 1)[-1])
    machine = Machine.clone(bed, template, machines_dir / name)
    try:
        machine.boot()
        yield machine
    finally:
        machine.shutdown()
    call = getattr(request.node, "report_call", None)
    if call is not None and call.passed:
        machine.remove()
    else:
        print(f"machine kept for inspection: {machine.path}")


@pytest.fixture
def kivo(machine):
    """The machine with a plain Kivo installation (see kivo.install_kivo for
    other shapes)."""
    return install_kivo(machine)
