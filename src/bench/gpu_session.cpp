#include "bench/gpu_session.h"

#include <CL/cl.h>

#include <algorithm>
#include <string>

#include "bench/gpu_kernel_text.h"
#include "core/errors.h"

namespace nvx {

namespace {

constexpr const char* kernelName = "depotrium";

cl_device_type deviceType(Benchmarks::ComputeDeviceKind kind) {
    return kind == Benchmarks::ComputeDeviceKind::gpu ? CL_DEVICE_TYPE_GPU : CL_DEVICE_TYPE_CPU;
}

// The first device of `type` over all platforms; null when there is none,
// also when no OpenCL platform is installed at all.
cl_device_id firstDevice(cl_device_type type) {
    cl_uint platformCount = 0;
    if (clGetPlatformIDs(0, nullptr, &platformCount) != CL_SUCCESS || platformCount == 0) return nullptr;
    std::vector<cl_platform_id> platforms(platformCount);
    if (clGetPlatformIDs(platformCount, platforms.data(), nullptr) != CL_SUCCESS) return nullptr;
    for (cl_platform_id platform : platforms) {
        cl_device_id device = nullptr;
        cl_uint deviceCount = 0;
        if (clGetDeviceIDs(platform, type, 1, &device, &deviceCount) == CL_SUCCESS && deviceCount > 0) return device;
    }
    return nullptr;
}

std::string trimmed(std::string text) {
    const auto isPadding = [](char c) { return c == '\0' || c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
    while (!text.empty() && isPadding(text.back())) text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && isPadding(text[start])) ++start;
    return text.substr(start);
}

std::string deviceNameOf(cl_device_id device) {
    std::size_t size = 0;
    if (clGetDeviceInfo(device, CL_DEVICE_NAME, 0, nullptr, &size) != CL_SUCCESS || size == 0) return {};
    std::string name(size, '\0');
    if (clGetDeviceInfo(device, CL_DEVICE_NAME, size, name.data(), nullptr) != CL_SUCCESS) return {};
    return trimmed(std::move(name));
}

std::string buildLog(cl_program program, cl_device_id device) {
    std::size_t size = 0;
    if (clGetProgramBuildInfo(program, device, CL_PROGRAM_BUILD_LOG, 0, nullptr, &size) != CL_SUCCESS || size == 0)
        return {};
    std::string log(size, '\0');
    if (clGetProgramBuildInfo(program, device, CL_PROGRAM_BUILD_LOG, size, log.data(), nullptr) != CL_SUCCESS)
        return {};
    return trimmed(std::move(log));
}

}  // namespace

struct GPUSession::Handles {
    cl_device_id device = nullptr;
    cl_context context = nullptr;
    cl_program program = nullptr;
    cl_kernel kernel = nullptr;
    cl_command_queue queue = nullptr;
    cl_mem output = nullptr;

    ~Handles() {
        if (output) clReleaseMemObject(output);
        if (queue) clReleaseCommandQueue(queue);
        if (kernel) clReleaseKernel(kernel);
        if (program) clReleaseProgram(program);
        if (context) clReleaseContext(context);
    }
};

GPUSession::GPUSession(Benchmarks::ComputeDeviceKind kind, const std::string& kernelSource, std::size_t groupWidthLimit)
    : handles_(std::make_unique<Handles>()) {
    Handles& h = *handles_;
    h.device = firstDevice(deviceType(kind));
    if (!h.device) return;
    cl_int status = CL_SUCCESS;
    h.context = clCreateContext(nullptr, 1, &h.device, nullptr, nullptr, &status);
    if (!h.context) return;  // a device we cannot open counts as none
    deviceName_ = deviceNameOf(h.device);

    const std::string& source = kernelSource.empty() ? std::string(gpuKernelText) : kernelSource;
    const char* text = source.c_str();
    const std::size_t length = source.size();
    h.program = clCreateProgramWithSource(h.context, 1, &text, &length, &status);
    if (!h.program)
        throw ComputeError("Не удалось передать вычислительное ядро OpenCL (код " + std::to_string(status) + ").");
    status = clBuildProgram(h.program, 1, &h.device, "", nullptr, nullptr);
    if (status != CL_SUCCESS) {
        std::string log = buildLog(h.program, h.device);
        if (log.empty())
            log = "Не удалось скомпилировать вычислительное ядро OpenCL (код " + std::to_string(status) + ").";
        throw ComputeError(log);
    }

    h.kernel = clCreateKernel(h.program, kernelName, &status);
    if (h.kernel) h.queue = clCreateCommandQueue(h.context, h.device, 0, &status);
    if (!h.kernel || !h.queue) {
        setup_ = Setup::noQueue;
        return;
    }

    std::size_t kernelLimit = 0;
    status = clGetKernelWorkGroupInfo(h.kernel, h.device, CL_KERNEL_WORK_GROUP_SIZE, sizeof kernelLimit, &kernelLimit,
                                      nullptr);
    if (status != CL_SUCCESS || kernelLimit == 0)
        throw ComputeError("Не удалось подготовить вычислительное ядро OpenCL (код " + std::to_string(status) + ").");
    // The first dimension may be narrower than the kernel's total limit.
    cl_uint dimensions = 0;
    if (clGetDeviceInfo(h.device, CL_DEVICE_MAX_WORK_ITEM_DIMENSIONS, sizeof dimensions, &dimensions, nullptr) ==
            CL_SUCCESS &&
        dimensions > 0) {
        std::vector<std::size_t> itemSizes(dimensions);
        if (clGetDeviceInfo(h.device, CL_DEVICE_MAX_WORK_ITEM_SIZES, itemSizes.size() * sizeof(std::size_t),
                            itemSizes.data(), nullptr) == CL_SUCCESS &&
            itemSizes[0] > 0)
            kernelLimit = std::min(kernelLimit, itemSizes[0]);
    }
    groupWidth_ = std::max<std::size_t>(1, std::min(groupWidthLimit, kernelLimit));
    // OpenCL 1.2 wants whole work-groups; the kernel skips the items past the end.
    launchWidth_ = (elementCount + groupWidth_ - 1) / groupWidth_ * groupWidth_;

    h.output = clCreateBuffer(h.context, CL_MEM_READ_WRITE, elementCount * sizeof(float), nullptr, &status);
    if (!h.output) {
        setup_ = Setup::noMemory;
        return;
    }
    setup_ = Setup::ready;
}

GPUSession::~GPUSession() = default;

float GPUSession::dispatch(std::uint32_t salt, const StopToken& token) {
    token.check();
    if (setup_ != Setup::ready) throw DepotriumError("Metal не создал команду.");
    Handles& h = *handles_;
    const cl_uint saltArgument = salt;
    if (clSetKernelArg(h.kernel, 0, sizeof(cl_mem), &h.output) != CL_SUCCESS ||
        clSetKernelArg(h.kernel, 1, sizeof saltArgument, &saltArgument) != CL_SUCCESS)
        throw DepotriumError("Metal не создал команду.");
    cl_event finished = nullptr;
    if (clEnqueueNDRangeKernel(h.queue, h.kernel, 1, nullptr, &launchWidth_, &groupWidth_, 0, nullptr, &finished) !=
        CL_SUCCESS)
        throw DepotriumError("Metal не создал команду.");
    // The blocking read waits for the kernel; a kernel that failed fails the read.
    float first = 0.0F;
    const cl_int status =
        clEnqueueReadBuffer(h.queue, h.output, CL_TRUE, 0, sizeof first, &first, 1, &finished, nullptr);
    cl_int execution = CL_COMPLETE;
    clGetEventInfo(finished, CL_EVENT_COMMAND_EXECUTION_STATUS, sizeof execution, &execution, nullptr);
    clReleaseEvent(finished);
    if (status != CL_SUCCESS) clFinish(h.queue);  // never leave a failed dispatch running behind us
    if (status != CL_SUCCESS || execution != CL_COMPLETE) throw DepotriumError("Ошибка выполнения Metal.");
    return first;
}

std::vector<float> GPUSession::readOutput() {
    if (setup_ != Setup::ready) throw DepotriumError("Ошибка выполнения Metal.");
    std::vector<float> values(elementCount);
    if (clEnqueueReadBuffer(handles_->queue, handles_->output, CL_TRUE, 0, values.size() * sizeof(float), values.data(),
                            0, nullptr, nullptr) != CL_SUCCESS)
        throw DepotriumError("Ошибка выполнения Metal.");
    return values;
}

}  // namespace nvx
